// Trial-list names against the engine's target names, in the engine's encoding.
#include "tool/trial_names.h"

#include <map>

#include "bridge/name_escape.h"
#include "core/contract/names.h"
#include "engine/kestrune.h"

namespace kestrune {
namespace {

using jkestrune::EscapedName;

constexpr int32_t kShared = -2;

// "'<name>'" with the name escaped. (Built by appending: GCC 12 warns falsely on a chain of
// string additions here.)
std::string Quoted(const std::string& name) {
    std::string quoted = "'";
    quoted.append(EscapedName(name));
    quoted.push_back('\'');
    return quoted;
}

// Each engine name with its target's index, or kShared when several targets have it.
std::map<std::string, int32_t> IndexTargets(const std::vector<std::string>& names) {
    std::map<std::string, int32_t> index;
    for (size_t t = 0; t < names.size(); ++t) {
        const auto [at, fresh] = index.emplace(names[t], static_cast<int32_t>(t));
        if (!fresh) {
            at->second = kShared;
        }
    }
    return index;
}

}  // namespace

bool MatchTrialNames(const std::vector<std::string>& listed,
                     const std::vector<std::string>& engineNames, std::vector<int32_t>& truth,
                     std::string& error) {
    std::vector<std::string> converted(listed.size());
    std::map<std::string, std::string> spelling;  // converted name -> the list's spelling
    for (size_t i = 0; i < listed.size(); ++i) {
        if (listed[i] == kNotEnrolled) {
            continue;
        }
        converted[i] = ModifiedUtf8Name(listed[i], jkestrune::kTargetNameSlot - 1);
        const auto [seen, fresh] = spelling.emplace(converted[i], listed[i]);
        if (!fresh && seen->second != listed[i]) {
            error = Quoted(seen->second);
            error.append(" and ").append(Quoted(listed[i]));
            error.append(" are different names in the list but one name for the engine: ambiguous");
            return false;
        }
    }
    const std::map<std::string, int32_t> index = IndexTargets(engineNames);
    truth.assign(listed.size(), -1);
    for (size_t i = 0; i < listed.size(); ++i) {
        if (listed[i] == kNotEnrolled) {
            continue;
        }
        const auto found = index.find(converted[i]);
        if (found == index.end()) {
            error = Quoted(listed[i]);
            error.append(" is not a loaded target (use - for a speaker who is not enrolled)");
            return false;
        }
        if (found->second == kShared) {
            error = Quoted(listed[i]);
            error.append(" is ambiguous: several loaded targets have that name");
            return false;
        }
        truth[i] = found->second;
    }
    return true;
}

}  // namespace kestrune
