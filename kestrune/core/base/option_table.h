// Options described once. Each options struct keeps its defaults in its member initialisers and
// has one table of descriptors: a field's name, how to reach it, its valid range and one line
// of help. From the table come parsing and range checking of NAME=VALUE text, the tools' usage
// lines, the Markdown table of constants in the docs, and the range checks of values read back
// from files, so that none of these restates a default or a bound.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace kestrune {

template <typename Member>
struct MemberTraits;
template <typename Class, typename Type>
struct MemberTraits<Type Class::*> {
    using ClassType = Class;
    using ValueType = Type;
};

// The field `Member` of an options struct, as an accessor a descriptor can hold.
template <auto Member>
typename MemberTraits<decltype(Member)>::ValueType& FieldOf(
    typename MemberTraits<decltype(Member)>::ClassType& options) {
    return options.*Member;
}

// The field `Inner` of the struct held in field `Outer` (for options grouped in a nested struct).
template <auto Outer, auto Inner>
typename MemberTraits<decltype(Inner)>::ValueType& NestedFieldOf(
    typename MemberTraits<decltype(Outer)>::ClassType& options) {
    return (options.*Outer).*Inner;
}

// One option of `Options`: whole numbers (uint32_t) or real numbers (float or double).
template <typename Options>
struct OptionField {
    using Count = uint32_t& (*)(Options&);
    using Single = float& (*)(Options&);
    using Double = double& (*)(Options&);

    const char* name;
    std::variant<Count, Single, Double> field;
    double minimum;  // inclusive
    double maximum;  // inclusive
    const char* help;
    // What the docs show as the default when the field's default value stands for something
    // decided at run time (0 for "the machine's cores"); null shows the value.
    const char* shownDefault = nullptr;

    bool IsCount() const { return std::holds_alternative<Count>(field); }
    double Value(const Options& options) const {
        auto& mutableOptions = const_cast<Options&>(options);  // the accessors only read here
        return std::visit([&](auto access) { return double(access(mutableOptions)); }, field);
    }
    // A float field is compared with its bounds as floats, so that a value set at a bound
    // (0.99 stored as 0.9900000095) is still in range when read back.
    bool InRange(const Options& options) const {
        const double value = Value(options);
        if (std::holds_alternative<Single>(field)) {
            const auto single = static_cast<float>(value);
            return single >= static_cast<float>(minimum) && single <= static_cast<float>(maximum);
        }
        return value >= minimum && value <= maximum;  // false for NaN
    }
};

// Parses the whole of `text` as a whole number of 32 bits (`count`) or a finite real number;
// false for anything else (signs on whole numbers, spaces, trailing characters, "nan", "inf").
bool ParseOptionNumber(std::string_view text, bool count, double& value);

// A value as the docs and usage show it: whole numbers plainly, real numbers in their shortest
// exact form (0.97, not 0.970000029).
std::string OptionNumberText(double value, bool count, bool single);

// "1 to 4096", or "8000" for a range of one value.
std::string OptionRangeText(double minimum, double maximum, bool count);

// One row of a Markdown table or one usage line needs these four texts.
struct OptionText {
    std::string name, defaultValue, range, help;
    bool count = false;  // a whole number (shown as N in usage; R for real numbers)
};

std::string MarkdownOptionTable(std::span<const OptionText> rows);
// Usage lines "  --name N    help (default D; R)" (R for a real number), help wrapped.
std::string UsageOptionLines(std::span<const OptionText> rows, std::string_view indent,
                             std::string_view prefix);

// Why SetOption refused a text.
std::string UnknownOptionMessage(std::string_view noun, std::string_view name,
                                 std::string_view known);
std::string NotAValueMessage(std::string_view name, std::string_view text);
std::string OutOfRangeMessage(std::string_view name, std::string_view text, std::string_view range);

template <typename Options>
const OptionField<Options>* FindOption(std::span<const OptionField<Options>> table,
                                       std::string_view name) {
    for (const OptionField<Options>& option : table) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

// The known names of `table`, separated by spaces.
template <typename Options>
std::string OptionNames(std::span<const OptionField<Options>> table) {
    std::string names;
    for (const OptionField<Options>& option : table) {
        names += names.empty() ? "" : " ";
        names += option.name;
    }
    return names;
}

// Sets option `name` of `options` from `text` when the name is known, the text a number of the
// option's kind and the number in its range; otherwise false with `error` saying which (an
// unknown name is called an unknown `noun`), and `options` unchanged.
template <typename Options>
bool SetOption(std::span<const OptionField<Options>> table, Options& options, std::string_view name,
               std::string_view text, std::string& error, std::string_view noun = "option") {
    const OptionField<Options>* option = FindOption(table, name);
    if (option == nullptr) {
        error = UnknownOptionMessage(noun, name, OptionNames(table));
        return false;
    }
    double value = 0.0;
    if (!ParseOptionNumber(text, option->IsCount(), value)) {
        error = NotAValueMessage(name, text);
        return false;
    }
    if (value < option->minimum || value > option->maximum) {
        error = OutOfRangeMessage(
            name, text, OptionRangeText(option->minimum, option->maximum, option->IsCount()));
        return false;
    }
    std::visit(
        [&](auto access) {
            auto& field = access(options);
            field = static_cast<std::remove_reference_t<decltype(field)>>(value);
        },
        option->field);
    return true;
}

// The texts of every option of `table`, with defaults read from a default-made `Options`.
template <typename Options>
std::vector<OptionText> OptionTexts(std::span<const OptionField<Options>> table) {
    const Options defaults{};
    std::vector<OptionText> rows;
    for (const OptionField<Options>& option : table) {
        const bool single =
            std::holds_alternative<typename OptionField<Options>::Single>(option.field);
        rows.push_back({option.name,
                        option.shownDefault != nullptr
                            ? option.shownDefault
                            : OptionNumberText(option.Value(defaults), option.IsCount(), single),
                        OptionRangeText(option.minimum, option.maximum, option.IsCount()),
                        option.help, option.IsCount()});
    }
    return rows;
}

// Whether every option of `options` lies in its range.
template <typename Options>
bool OptionsInRange(std::span<const OptionField<Options>> table, const Options& options) {
    for (const OptionField<Options>& option : table) {
        if (!option.InRange(options)) {
            return false;
        }
    }
    return true;
}

}  // namespace kestrune
