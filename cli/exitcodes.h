#ifndef CLI_EXITCODES_H
#define CLI_EXITCODES_H

// The exit statuses of velotune-cli, as the README lists them. diff keeps diff(1)'s meaning:
// 0 same, 1 different, 2 or more trouble.
namespace exitcode {

constexpr int Ok = 0;
// diff: the two differ. set, restore: the controller does not hold what was asked, or a write
// was refused.
constexpr int Differs = 1;
// Unknown command or option, a number that is not plain digits, a channel that does not exist.
constexpr int Usage = 2;
// A snapshot that cannot be read, is not valid, does not fit the controller, or cannot be written
// (the file it would replace is then left as it was); a path that is not a regular file, or
// a write-protected one without --force. log: the journal is off or cannot be read.
constexpr int File = 3;
// No library, or the controller refused an open, a read or the release.
constexpr int Controller = 4;
// Ended by a signal after the open systems were released: 128 + the signal's number. A closed
// standard output ends as SIGPIPE would, 141, but after the release.
constexpr int SignalBase = 128;

} // namespace exitcode

#endif // CLI_EXITCODES_H
