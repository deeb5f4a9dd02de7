#pragma once

#include <string>
#include <string_view>

namespace parktotals {

// The application's title, used as the caption of error boxes: the
// executable's file name without its folder, cut before its first ".", every
// character after the first in lower case ("C:\x\MyJob.Daily.EXE" -> "Myjob").
std::string ApplicationTitle(std::string_view executable_path);

// The text of the error box for an error message: a full stop is added when
// the message is not empty and its last character sorts after ".".
std::string ErrorBoxText(std::string message);

} // namespace parktotals
