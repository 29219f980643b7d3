// The application identifier that the launcher was started with: the first command-line argument
// after the program's own name, as the service spells it (cp1250). Nothing here throws.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tv::launch {

// The identifier that an argument stands for: an argument in UTF-8 (as desktop entries pass
// it) becomes its cp1250 form; one that cp1250 cannot hold is passed on unchanged.
std::string IdentifierFromArgument(std::string_view argument);

// The first argument of this process (after the program's name), converted as above; none when
// the process was started without one.
std::optional<std::string> FirstCommandLineArgument();

}  // namespace tv::launch
