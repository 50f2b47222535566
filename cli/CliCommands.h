#pragma once
// quillmar-cli: the command-line front end.
//
//   log        record a dataset with the acquisition cycle and save it
//   watch      print the live table every update period
//   table      a log file as tab-separated text
//   info       what a log file holds
//   export     a log file as a workbook, CSV or table text
//   dump-prom  read the engine computer's program memory into a file
//   create-ini write the parameter table in force to the protocol file
//
// Exit status: 0 success, 1 run-time failure, 2 bad arguments or bad input.

namespace quillmar {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitBadInput = 2;

int RunCli(int argc, char** argv);

} // namespace quillmar
