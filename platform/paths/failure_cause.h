#pragma once

#include <string>

namespace zv::platform {

// The cause that ends the message of a failed file operation: the system's
// text for the errno value, starting in lower case ("no space left on
// device"), so that every command words the same failure the same way.
// Empty for 0: a failure whose cause is not the system's.
// ETXTBSY reads "in use by another program".
std::string CauseOf(int error_number);

}  // namespace zv::platform
