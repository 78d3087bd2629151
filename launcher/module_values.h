// The launcher's module-level values. They are created in this order before the launch and
// destroyed in reverse at a normal end; an abnormal end leaves them as they are.
#pragma once

#include <string>

namespace launcher {

extern std::string JreKeyPath;
extern const std::string JreKeyBase;
extern std::string JavaVersion;

}  // namespace launcher
