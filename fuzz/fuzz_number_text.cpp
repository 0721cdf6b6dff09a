#include "huefile/number_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

// The rule written out a second time, by another route: the text is first matched against the
// two shapes a number may have, and the range is then judged on the digit string itself, so
// no overflow arithmetic is shared with the code under test.
bool IsDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c)
{
    return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool AllOf(std::string_view text, bool (*digit)(char))
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (!digit(c))
            return false;
    }
    return true;
}

std::string_view WithoutLeadingZeros(std::string_view digits)
{
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove_prefix(1);
    return digits;
}

// Compares two digit strings without leading zeros as the numbers they write.
bool NotAbove(std::string_view digits, std::string_view limit)
{
    if (digits.size() != limit.size())
        return digits.size() < limit.size();
    return digits <= limit;
}

std::optional<std::int32_t> Decimal(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (!AllOf(text, IsDecimalDigit))
        return std::nullopt;
    const std::string_view digits = WithoutLeadingZeros(text);
    if (!NotAbove(digits, negative ? "2147483648" : "2147483647"))
        return std::nullopt;
    const long long magnitude = std::stoll(std::string(digits));
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::optional<std::int32_t> Hexadecimal(std::string_view text)
{
    std::string_view digits;
    bool prefixed = false;
    for (std::string_view prefix : {"$", "x", "X", "0x", "0X"}) {
        if (text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix) {
            digits = text.substr(prefix.size());
            prefixed = true;
            break;
        }
    }
    if (!prefixed || !AllOf(digits, IsHexDigit))
        return std::nullopt;
    digits = WithoutLeadingZeros(digits);
    if (digits.size() > 8)
        return std::nullopt;
    const long long value = std::stoll(std::string(digits), nullptr, 16);
    // Two's complement by arithmetic rather than by a cast, to stay clear of the code under test.
    return static_cast<std::int32_t>(value >= 0x80000000LL ? value - 0x100000000LL : value);
}

std::optional<std::int32_t> Reference(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    // A text never has both shapes: a decimal holds no prefix letter and a hexadecimal no sign.
    if (const auto value = Hexadecimal(text))
        return value;
    return Decimal(text);
}

std::string Show(const std::optional<std::int32_t> &value)
{
    return value ? std::to_string(*value) : std::string("not a number");
}

[[noreturn]] void Disagree(std::string_view text, const std::optional<std::int32_t> &got,
                           const std::optional<std::int32_t> &expected, const char *what)
{
    std::fprintf(stderr, "%s for text \"", what);
    for (char c : text)
        std::fprintf(stderr, "\\x%02x", static_cast<unsigned char>(c));
    std::fprintf(stderr, "\": NumberText gives %s, the rule gives %s\n", Show(got).c_str(),
                 Show(expected).c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const auto got = NumberText(text);
    const auto expected = Reference(text);
    if (got != expected)
        Disagree(text, got, expected, "Disagreement");
    // Whatever a field shows after a number was accepted must read back as the same number.
    if (got) {
        const std::string written = NumberToText(*got);
        if (NumberText(written) != got)
            Disagree(written, NumberText(written), got, "Written number does not read back");
    }
    return 0;
}
