#pragma once
// The expression of a user channel, compiled once and evaluated for every
// row, in double precision.
//
// The language: numbers (1, 0.5, .5, 1e3); + - * / ^ and unary minus;
// parentheses; < > <= >= == != (1 or 0); && || (non-zero is true);
// c ? a : b; the functions abs, sqrt, exp, ln, log10, min and max (min and
// max of one or more arguments); values by their names in square brackets,
// as NamedValues.h finds them: [Engine speed], [Flags 30/At idle] (0 or 1),
// or a user channel defined before. A name runs to the first ']'.
//
// From the lowest precedence to the highest: ?: (right to left), ||, &&,
// the comparisons, + -, * / and unary minus, ^ (right to left). So -2^2 is
// -4, 2^3^2 is 512 and 1 < 2 == 1 is 1.
//
// A result that is not a finite number (a division by zero, the root of a
// negative number) means the row has no value: NAN.

#include "acquisition/params/ParameterTypes.h"
#include "store/analysis/NamedValues.h"
#include "store/base/Error.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mu {
class Parser;
}

namespace quillmar {

// What is wrong with an expression: for a dialog that checks as the user
// types, and for the message that names the channel.
struct ExpressionProblem {
    ErrorKind Kind = ErrorKind::BadExpression; // or UnknownName
    std::string Text;                          // "no parameter, flag bit or channel is named [Engine sped]"
    size_t Offset = 0;                         // the byte of the expression where it is
    bool operator==(const ExpressionProblem&) const = default;
};

class ChannelExpression {
public:
    // Compiles text against the table and the names of the user channels
    // that come before it. Returns nullptr and sets problem when it does not
    // compile.
    static std::unique_ptr<ChannelExpression> Compile(const std::string& text, const TParameterArray& params,
                                                      const std::vector<std::string>& channelNames,
                                                      ExpressionProblem& problem);
    ~ChannelExpression();
    ChannelExpression(const ChannelExpression&) = delete;
    ChannelExpression& operator=(const ChannelExpression&) = delete;

    // The values it reads, each once, in the order they first appear.
    const std::vector<NamedValue>& Inputs() const { return inputs_; }
    // The result for the values of Inputs() in inputs (as many); NAN when it
    // is not a finite number. The inputs pass through the expression's own
    // variables: one thread at a time.
    double Evaluate(std::span<const double> inputs) const;

private:
    ChannelExpression();
    std::unique_ptr<mu::Parser> parser_;
    std::unique_ptr<double[]> variables_; // the parser reads the inputs from here
    std::vector<NamedValue> inputs_;
};

// nullopt when text compiles, else what is wrong: as a dialog checks it.
std::optional<ExpressionProblem> ValidateExpression(const std::string& text, const TParameterArray& params,
                                                    const std::vector<std::string>& channelNames = {});

// The character (counting from 1, UTF-8 sequences as one) at a byte of text.
size_t CharacterAt(const std::string& text, size_t offset);

} // namespace quillmar
