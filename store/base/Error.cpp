#include "store/base/Error.h"

namespace quillmar {

namespace {

std::string placeText(const Place& place, bool quoteFile) {
    std::string text;
    auto add = [&](const std::string& part) {
        if (!text.empty()) text += ", ";
        text += part;
    };
    if (place.file) add(quoteFile ? "\"" + *place.file + "\"" : *place.file);
    if (place.line) add("line " + std::to_string(*place.line));
    if (place.section) add("section [" + *place.section + "]");
    if (place.key) add("key " + *place.key);
    return text;
}

} // namespace

std::string FormatError(const Error& error) {
    std::string text;
    if (!error.title.empty()) text = error.title + "\n";
    const std::string where = placeText(error.place, error.quoteFile);
    std::string sentence = error.lead;
    if (!where.empty()) sentence += (sentence.empty() ? "" : " ") + where;
    sentence += error.tail;
    if (!error.reason.empty()) sentence += (sentence.empty() ? "(" : " (") + error.reason + ")";
    if (!error.detail.empty()) sentence += (sentence.empty() ? "" : ": ") + error.detail;
    return text + sentence;
}

std::string SeverityCaption(Severity severity) {
    switch (severity) {
    case Severity::Info:
        return "Information";
    case Severity::Warning:
        return "Warning";
    case Severity::Error:
    case Severity::Fatal:
        break;
    }
    return "Error";
}

Error FileFailure(ErrorKind kind, const std::string& lead, const std::string& file, const std::string& reason,
                  int code) {
    Error e;
    e.kind = kind;
    e.lead = lead;
    e.place.file = file;
    e.reason = reason;
    e.code = code;
    return e;
}

Error FileProblem(ErrorKind kind, const std::string& lead, const std::string& file,
                  const std::string& detail) {
    Error e;
    e.kind = kind;
    e.lead = lead;
    e.place.file = file;
    e.detail = detail;
    return e;
}

} // namespace quillmar
