// How the program prints: every text goes to standard error through say,
// every name through say_name, in the console's encoding. A failed print
// does not stop the run, but the run then ends with status 1.
#ifndef LEADCUT_CLI_PRINT_H
#define LEADCUT_CLI_PRINT_H

// Prints to standard error. A print that fails (a full disk, a reader that
// went away) does not stop the run, but the run then ends with status 1. A
// stream the caller closed is open on the null device, where prints succeed.
[[gnu::format(printf, 1, 2)]] void say(const char *format, ...);

// Prints a name or an operand with '?' for each control character, each
// mark that reorders or breaks the line around it, and each byte outside
// well-formed UTF-8, so that none reaches a terminal as a command or shows
// another name, in the console's encoding.
void say_name(const char *text);

// The status of a run that went through: 0, or 1 when a print failed.
int final_status();

#endif
