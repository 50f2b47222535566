#pragma once
// quillmar-cli recover: recordings that ended without being saved (a crash,
// a kill, a power loss) back from their journals into log files.

#include <string>
#include <vector>

namespace quillmar {

extern const char* const RecoverHelp;

// args: the words after "recover". Returns the exit status.
int CmdRecover(const std::vector<std::string>& args);

} // namespace quillmar
