// What the tool needs to know about the terminal it draws on. The only file
// of the tool that asks the system about its output streams.
#ifndef ZEM_TOOLS_TERMINAL_H
#define ZEM_TOOLS_TERMINAL_H

namespace zemtool {

// True when standard error is a terminal, where a redrawn progress line is
// welcome; in a pipe or a file it would only be clutter.
bool StandardErrorIsTerminal();
// Columns of the terminal on standard error; the COLUMNS variable, or 80,
// when the terminal does not say.
int TerminalColumns();

}  // namespace zemtool

#endif  // ZEM_TOOLS_TERMINAL_H
