#pragma once
// quillmar-cli export: a log file as a workbook (.xlsx), as CSV (.csv) or as
// the tab-separated dataset table (.tsv), chosen by the output's extension.

#include <string>
#include <vector>

namespace quillmar {

extern const char* const ExportHelp;

// args: the words after "export". Returns the exit status.
int CmdExport(const std::vector<std::string>& args);

} // namespace quillmar
