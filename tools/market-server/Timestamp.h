#pragma once
// The gateway's timestamp, "yyyy-MM-dd HH:mm:ss", read into its calendar fields.
#include <ctime>
#include <string>

// False for any other form or an impossible field; `tm` is then left as it may be.
bool ParseTimestampFields(const std::string& text, std::tm& tm);
