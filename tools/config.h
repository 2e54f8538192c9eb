#pragma once

#include <string>

namespace CLI {
class App;
}

// The configuration file, held to the options it gives defaults for.
namespace linexml::cli {

// The first fault of the configuration file that App read (--config FILE, else the default file
// when it exists) as "FILE:LINE: what", or empty when there is none or no file was read: a section
// that is not a command, a key that is not an option of its command, a value that the option
// refuses. The options' own checks judge the values, as when they are given on the command line.
std::string ConfigFault(CLI::App& App);

}  // namespace linexml::cli
