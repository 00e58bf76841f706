// The one reader of tdl's command lines. Each command states its options and how strict
// it is about the rest; the reader walks the arguments in order and stops at the first
// thing it must refuse, so every command reports the first fault on its line.
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::tdl {

struct OptionRules {
  struct Value {
    std::string_view name{};  // "--db"
    std::string* into = nullptr;
    bool may_be_empty = true;
    bool* given = nullptr;  // set when the option is on the line
  };
  struct Flag {
    std::string_view name{};
    bool* set = nullptr;
  };
  std::vector<Value> values{};
  std::vector<Flag> flags{};
  // "-h" asks for the usage text as "--help" does.
  bool short_help = false;
  // Help only when it is the one argument; anywhere else it is an argument like any other.
  bool help_alone = false;
  // "--" ends the options: everything after it is an operand.
  bool double_dash_ends_options = false;
  // An argument with this prefix that is no option of the command is refused; with an
  // empty prefix it is an operand.
  std::string_view refused_prefix = "--";
  // This many arguments at the front are operands whatever they look like.
  std::size_t leading_operands = 0;
  std::size_t max_operands = std::numeric_limits<std::size_t>::max();
  bool empty_operands = true;
};

enum class OptionFault { kNone, kMissingValue, kUnknownOption, kTooManyOperands, kEmptyOperand };

struct ParsedOptions {
  bool help = false;
  std::vector<std::string_view> operands;
  OptionFault fault = OptionFault::kNone;
  std::string_view culprit;  // the argument the fault is about
};

ParsedOptions ParseOptions(std::span<const std::string_view> args, const OptionRules& rules);

// "unknown option 'OPTION'".
std::string UnknownOptionText(std::string_view option);

}  // namespace tandrel::tdl
