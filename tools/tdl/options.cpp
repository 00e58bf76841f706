// The rules of options.h applied to one command line, argument by argument.
#include "tools/tdl/options.h"

namespace tandrel::tdl {
namespace {

bool IsHelp(std::string_view arg, const OptionRules& rules) {
  return arg == "--help" || (rules.short_help && arg == "-h");
}

ParsedOptions Refused(ParsedOptions parsed, OptionFault fault, std::string_view culprit) {
  parsed.fault = fault;
  parsed.culprit = culprit;
  return parsed;
}

}  // namespace

ParsedOptions ParseOptions(std::span<const std::string_view> args, const OptionRules& rules) {
  ParsedOptions parsed;
  if (rules.help_alone) {
    parsed.help = args.size() == 1 && IsHelp(args[0], rules);
    if (parsed.help) return parsed;
  }
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    const bool option_place = !options_done && i >= rules.leading_operands;
    const OptionRules::Value* value = nullptr;
    const OptionRules::Flag* flag = nullptr;
    if (option_place) {
      for (const auto& v : rules.values) {
        if (a == v.name) value = &v;
      }
      for (const auto& f : rules.flags) {
        if (a == f.name) flag = &f;
      }
    }
    if (option_place && rules.double_dash_ends_options && a == "--") {
      options_done = true;
    } else if (option_place && !rules.help_alone && IsHelp(a, rules)) {
      parsed.help = true;
      return parsed;
    } else if (value != nullptr) {
      if (++i == args.size() || (!value->may_be_empty && args[i].empty())) {
        return Refused(std::move(parsed), OptionFault::kMissingValue, a);
      }
      *value->into = std::string(args[i]);
      if (value->given != nullptr) *value->given = true;
    } else if (flag != nullptr) {
      *flag->set = true;
    } else if (option_place && !rules.refused_prefix.empty() && a.starts_with(rules.refused_prefix)) {
      return Refused(std::move(parsed), OptionFault::kUnknownOption, a);
    } else if (parsed.operands.size() == rules.max_operands) {
      return Refused(std::move(parsed), OptionFault::kTooManyOperands, a);
    } else if (a.empty() && !rules.empty_operands) {
      return Refused(std::move(parsed), OptionFault::kEmptyOperand, a);
    } else {
      parsed.operands.push_back(a);
    }
  }
  return parsed;
}

std::string UnknownOptionText(std::string_view option) {
  return "unknown option '" + std::string(option) + "'";
}

}  // namespace tandrel::tdl
