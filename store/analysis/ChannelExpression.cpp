// The expression is first read here, token by token, only so far as to turn
// every bracketed name into a variable of the parser and to refuse what the
// language lacks (names outside brackets, assignment, commas outside a
// function's arguments, text that is not ASCII); muparser does the parsing.
// Every byte of the text handed to muparser remembers the byte of the
// user's text it came from, so that its complaints point at what was typed.

#include "store/analysis/ChannelExpression.h"

#include "acquisition/params/Parameters.h"

#include <muParser.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string_view>

namespace quillmar {

namespace {

constexpr std::array<std::string_view, 7> FunctionNames = {"abs", "sqrt", "exp", "ln", "log10", "min", "max"};

bool isFunction(std::string_view name) {
    return std::find(FunctionNames.begin(), FunctionNames.end(), name) != FunctionNames.end();
}

bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The end of the number that starts at i: digits and points, then an
// exponent when one follows.
size_t numberEnd(const std::string& text, size_t i) {
    while (i < text.size() && (isDigit(text[i]) || text[i] == '.'))
        ++i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j]))
                ++j;
            i = j;
        }
    }
    return i;
}

size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// The token of the user's text at offset, as the user typed it.
std::string tokenAt(const std::string& text, size_t offset) {
    if (offset >= text.size()) return {};
    const char c = text[offset];
    if (c == '[') {
        const size_t close = text.find(']', offset);
        return text.substr(offset, close == std::string::npos ? std::string::npos : close - offset + 1);
    }
    if (isDigit(c) || c == '.') return text.substr(offset, numberEnd(text, offset) - offset);
    if (isNameStart(c)) {
        size_t end = offset;
        while (end < text.size() && isNameChar(text[end]))
            ++end;
        return text.substr(offset, end - offset);
    }
    static constexpr std::array<std::string_view, 6> pairs = {"<=", ">=", "==", "!=", "&&", "||"};
    for (std::string_view pair : pairs)
        if (std::string_view(text).substr(offset, 2) == pair) return std::string(pair);
    return text.substr(offset, utf8Length(static_cast<unsigned char>(c)));
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string at(const std::string& text, size_t offset) {
    return " at character " + std::to_string(CharacterAt(text, offset));
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Why name (in brackets) is no value's name: a flag entry without that bit,
// or no name at all.
std::string unknownNameText(const TParameterArray& params, const std::string& name) {
    for (const TParameter& p : params) {
        if (!p.Flags) continue;
        const std::string entry = DisplayName(p);
        if (name.size() > entry.size() + 1 && name.compare(0, entry.size(), entry) == 0 &&
            name[entry.size()] == '/')
            return entry + " has no bit named " + quoted(name.substr(entry.size() + 1)) + " ([" + name + "])";
    }
    return "no parameter, flag bit or channel is named [" + name + "]";
}

// The expression rewritten for muparser, with the user's byte behind each
// of its bytes (one more at the end, for "the end").
struct Translation {
    std::string Text;
    std::vector<size_t> Source;
    std::vector<NamedValue> Inputs;

    void add(const std::string& piece, size_t from) {
        Text += piece;
        Source.insert(Source.end(), piece.size(), from);
    }
    void copy(const std::string& text, size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            Text += text[i];
            Source.push_back(i);
        }
    }
    size_t sourceOf(int position, size_t textSize) const {
        if (position < 0 || static_cast<size_t>(position) >= Source.size()) return textSize;
        return Source[static_cast<size_t>(position)];
    }
};

std::optional<ExpressionProblem> translate(const std::string& text, const TParameterArray& params,
                                           const std::vector<std::string>& channelNames, Translation& out) {
    auto problem = [](size_t offset, std::string why, ErrorKind kind = ErrorKind::BadExpression) {
        return ExpressionProblem{kind, std::move(why), offset};
    };
    if (trimmed(text).empty()) return problem(0, "the expression is empty");
    // What each open parenthesis is: the arguments of a function, or a group.
    std::vector<bool> functionParens;
    bool nextParenIsFunction = false;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '[') {
            const size_t close = text.find(']', i + 1);
            if (close == std::string::npos)
                return problem(i, quoted("[") + at(text, i) + " has no closing " + quoted("]"));
            const std::string name = trimmed(text.substr(i + 1, close - i - 1));
            if (name.empty()) return problem(i, "an empty name " + quoted("[]") + at(text, i));
            const std::optional<NamedValue> value = FindNamedValue(params, channelNames, name);
            if (!value) return problem(i, unknownNameText(params, name), ErrorKind::UnknownName);
            auto known = std::find(out.Inputs.begin(), out.Inputs.end(), *value);
            if (known == out.Inputs.end()) known = out.Inputs.insert(out.Inputs.end(), *value);
            out.add(" q" + std::to_string(known - out.Inputs.begin()) + " ", i);
            i = close + 1;
            nextParenIsFunction = false;
            continue;
        }
        if (isDigit(c) || c == '.') {
            const size_t end = numberEnd(text, i);
            out.copy(text, i, end);
            i = end;
            nextParenIsFunction = false;
            continue;
        }
        if (isNameStart(c)) {
            size_t end = i;
            while (end < text.size() && isNameChar(text[end]))
                ++end;
            const std::string name = text.substr(i, end - i);
            const size_t next = text.find_first_not_of(" \t", end);
            const bool call = next != std::string::npos && text[next] == '(';
            if (!isFunction(name)) {
                if (call)
                    return problem(i, "unknown function " + quoted(name) + at(text, i) +
                                          " (the functions are abs, sqrt, exp, ln, log10, min and max)");
                return problem(i, quoted(name) + at(text, i) +
                                      " is neither a number nor a function; a parameter is named in square "
                                      "brackets, as [" +
                                      name + "]");
            }
            if (!call)
                return problem(i, "the function " + quoted(name) + at(text, i) +
                                      " needs its arguments in parentheses");
            out.copy(text, i, end);
            i = end;
            nextParenIsFunction = true;
            continue;
        }
        if (byte >= 0x80 || byte < 0x20 || c == '"' || c == 0x7F) {
            if (c == '\t') {
                out.copy(text, i, i + 1);
                ++i;
                continue;
            }
            return problem(i, "unexpected " + quoted(tokenAt(text, i)) + at(text, i));
        }
        if (c == '=') {
            const bool partOfComparison =
                (i > 0 && std::string_view("<>!=").find(text[i - 1]) != std::string_view::npos) ||
                (i + 1 < text.size() && text[i + 1] == '=');
            if (!partOfComparison)
                return problem(i, quoted("=") + at(text, i) + " is no operator here; compare with " +
                                      quoted("=="));
        }
        if (c == '(') {
            functionParens.push_back(nextParenIsFunction);
        } else if (c == ')') {
            if (!functionParens.empty()) functionParens.pop_back();
        } else if (c == ',') {
            if (functionParens.empty() || !functionParens.back())
                return problem(i, "unexpected " + quoted(",") + at(text, i) +
                                      " (commas only separate a function's arguments)");
        }
        if (c != ' ') nextParenIsFunction = false;
        out.copy(text, i, i + 1);
        ++i;
    }
    out.Source.push_back(text.size());
    return std::nullopt;
}

// muparser's complaint in our words, pointing at the user's text.
ExpressionProblem fromParserError(const mu::Parser::exception_type& e, const std::string& text,
                                  const Translation& translation) {
    const size_t offset = translation.sourceOf(e.GetPos(), text.size());
    const std::string token = tokenAt(text, offset);
    const std::string where = offset < text.size() ? quoted(token) + at(text, offset) : std::string();
    std::string why;
    switch (e.GetCode()) {
    case mu::ecUNEXPECTED_EOF:
        why = "the expression ends where a value should follow";
        break;
    case mu::ecMISSING_PARENS:
        why = "a " + quoted("(") + " is not closed";
        break;
    case mu::ecTOO_MANY_PARAMS:
        why = "too many arguments for " + e.GetToken() + "()";
        break;
    case mu::ecTOO_FEW_PARAMS:
        why = "too few arguments for " + e.GetToken() + "()";
        break;
    case mu::ecMISSING_ELSE_CLAUSE:
        why = "a " + quoted("?") + " has no " + quoted(":");
        break;
    case mu::ecMISPLACED_COLON: {
        // muparser points just past the colon.
        const size_t colon = text.rfind(':', offset);
        why = quoted(":") + (colon != std::string::npos ? at(text, colon) : std::string()) + " has no " +
              quoted("?") + " before it";
        return ExpressionProblem{ErrorKind::BadExpression, why, colon != std::string::npos ? colon : offset};
    }
    case mu::ecEXPRESSION_TOO_LONG:
        why = "the expression is too long";
        break;
    default:
        why =
            offset < text.size() ? "unexpected " + where : "the expression ends where a value should follow";
        break;
    }
    return ExpressionProblem{ErrorKind::BadExpression, why, offset};
}

double propagatingMin(const double* values, int count) {
    double m = values[0];
    for (int k = 0; k < count; ++k) {
        if (std::isnan(values[k])) return NAN;
        m = std::min(m, values[k]);
    }
    return m;
}

double propagatingMax(const double* values, int count) {
    double m = values[0];
    for (int k = 0; k < count; ++k) {
        if (std::isnan(values[k])) return NAN;
        m = std::max(m, values[k]);
    }
    return m;
}

} // namespace

size_t CharacterAt(const std::string& text, size_t offset) {
    size_t characters = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++characters;
    return characters;
}

ChannelExpression::ChannelExpression() = default;
ChannelExpression::~ChannelExpression() = default;

std::unique_ptr<ChannelExpression> ChannelExpression::Compile(const std::string& text,
                                                              const TParameterArray& params,
                                                              const std::vector<std::string>& channelNames,
                                                              ExpressionProblem& problem) {
    Translation translation;
    if (auto bad = translate(text, params, channelNames, translation)) {
        problem = *bad;
        return nullptr;
    }
    std::unique_ptr<ChannelExpression> compiled(new ChannelExpression);
    compiled->inputs_ = std::move(translation.Inputs);
    compiled->variables_ = std::make_unique<double[]>(std::max<size_t>(compiled->inputs_.size(), 1));
    auto parser = std::make_unique<mu::Parser>();
    try {
        // Only the language above: none of muparser's other functions and
        // constants.
        parser->ClearFun();
        parser->ClearConst();
        // Folding constants, muparser takes && and || of whole numbers
        // (0.5 && 2 is 0) where evaluating takes any value but 0 as true:
        // without folding every expression reads the one way.
        parser->EnableOptimizer(false);
        parser->DefineFun(
            "abs", +[](double v) { return std::fabs(v); });
        parser->DefineFun(
            "sqrt", +[](double v) { return std::sqrt(v); });
        parser->DefineFun(
            "exp", +[](double v) { return std::exp(v); });
        parser->DefineFun(
            "ln", +[](double v) { return std::log(v); });
        parser->DefineFun(
            "log10", +[](double v) { return std::log10(v); });
        parser->DefineFun("min", propagatingMin);
        parser->DefineFun("max", propagatingMax);
        for (size_t k = 0; k < compiled->inputs_.size(); ++k)
            parser->DefineVar("q" + std::to_string(k), &compiled->variables_[k]);
        parser->SetExpr(translation.Text);
        parser->Eval(); // parses: every syntax error shows here
    } catch (const mu::Parser::exception_type& e) {
        problem = fromParserError(e, text, translation);
        return nullptr;
    }
    compiled->parser_ = std::move(parser);
    return compiled;
}

double ChannelExpression::Evaluate(std::span<const double> inputs) const {
    const size_t n = std::min(inputs.size(), inputs_.size());
    for (size_t k = 0; k < n; ++k)
        variables_[k] = inputs[k];
    double result = NAN;
    try {
        result = parser_->Eval();
    } catch (const mu::Parser::exception_type&) {
        return NAN;
    }
    return std::isfinite(result) ? result : NAN;
}

std::optional<ExpressionProblem> ValidateExpression(const std::string& text, const TParameterArray& params,
                                                    const std::vector<std::string>& channelNames) {
    ExpressionProblem problem;
    if (ChannelExpression::Compile(text, params, channelNames, problem)) return std::nullopt;
    return problem;
}

} // namespace quillmar
