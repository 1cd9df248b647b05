#pragma once
// The text form of an item that bexora-cli prints (parse-page, dump): one
// line NAME=VALUE per field in declared order, NAME the member name. Scripts
// read it, so it never changes shape.

#include <string>

#include "model/Item.h"

namespace bexora::cli {

// A value with '\' written as "\\" and a line feed as "\n".
std::string EscapeValue(const std::string& value);

// What a password shows as on the terminal unless the user asks to see it.
constexpr const char* kMaskedPassword = "********";

// The password as printed: masked (empty stays empty) unless show.
std::string ShownPassword(const std::string& password, bool show);

// The 27 lines "m_strItemNumber=...\n" ... "m_strNote=...\n"; times and
// integers as decimal numbers, the password masked unless showPassword.
std::string FormatItemFields(const CItem& item, bool showPassword = false);

}  // namespace bexora::cli
