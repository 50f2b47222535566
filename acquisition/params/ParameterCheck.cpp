// The start-up consistency check of the parameter table.

#include "acquisition/params/Parameters.h"

namespace quillmar {

TableCheck TableCheck::Failed(Error problem) {
    TableCheck check;
    check.Ok = false;
    check.Caption = "error";
    check.Message = FormatError(problem);
    if (problem.place.section && problem.place.key)
        check.Where = "section [" + *problem.place.section + "], key " + *problem.place.key;
    check.Problem = std::move(problem);
    return check;
}

TableCheck CheckParameterTable(const TParameterArray& params, const std::string& fileName) {
    TableCheck result;
    long total = 0;
    for (const auto& p : params)
        total += p.Size;
    if (total != ReplyLength) {
        // The box's text, and which file and what sum on a line of its own.
        Error e;
        e.kind = ErrorKind::TableLength;
        e.severity = Severity::Fatal;
        e.title = "Total parameters byte length incorrect";
        e.place.file = fileName;
        e.detail = "the sizes of its " + std::to_string(params.size()) +
                   (params.size() == 1 ? " parameter" : " parameters") + " add up to " +
                   std::to_string(total) + (total == 1 ? " byte" : " bytes") + "; a reply holds " +
                   std::to_string(ReplyLength) + " data bytes";
        return TableCheck::Failed(std::move(e));
    }
    for (size_t i = 0; i < params.size(); ++i) {
        const TParameter& p = params[i];
        if (p.Size == 0) continue; // derived entries are not in the reply

        std::string key;
        std::string what;
        const int last = p.Position + p.Size - 1;
        if (p.Position == 0) {
            key = "Position";
            what = "0 is not a data byte (they count from 1)";
        } else if (p.Position > ReplyLength) {
            key = "Position";
            what = std::to_string(p.Position) + " is past the last data byte " + std::to_string(ReplyLength);
        } else if (last > ReplyLength) {
            key = "Size";
            what = std::to_string(p.Size) + " bytes from data byte " + std::to_string(p.Position) +
                   " reach data byte " + std::to_string(last) + ", past the last data byte " +
                   std::to_string(ReplyLength);
        } else {
            continue;
        }
        Error e;
        e.kind = ErrorKind::TableEntry;
        e.severity = Severity::Fatal;
        e.place.file = fileName;
        e.place.section = "Parameter " + std::to_string(i + 1);
        e.place.key = key;
        e.detail = what;
        return TableCheck::Failed(std::move(e));
    }
    return result;
}

} // namespace quillmar
