#pragma once

#include "app/command_line.h"

// The installer's two options, --read-connection and --write-connection:
// the installer's pages show and change the login of RegInfo.INI (in the
// working directory) through the program's own connection-string code.
//
// They talk through a fields file, a UTF-16 INI file in the installer's
// private folder, so that no password is ever on a command line. Section
// [connection], each value in double quotes (Windows' INI reader drops them
// and keeps blanks at the ends):
//   server, database, user, password  the database page's fields
//   windowsauth  1 for Windows authentication, else 0
//   found        (read) 0 when the first line is empty or still holds the
//                zip's <placeholders>, the fields then empty; else 1
//   error        why the option failed; the file then holds nothing else
// Exit code 0 when done, 1 when not. They never show a window or a box.
namespace parktotals {

int RunConnectionTask(const CommandLine& command);

} // namespace parktotals
