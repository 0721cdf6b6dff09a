#include "huefile/formats/json_document.h"

#include "huefile/formats/entry_name.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using Json = nlohmann::json;

// Line and column where the parser stopped: the last byte of the token it could not take, or the
// end. Counted as an editor counts them, columns in characters, from 1. The parser's position is
// one past that byte.
std::string Place(std::string_view bytes, std::size_t position)
{
    const std::size_t at = std::min(position > 0 ? position - 1 : 0, bytes.size());
    const std::string_view before = bytes.substr(0, at);
    const std::size_t lineBreak = before.rfind('\n');
    const std::string_view line =
        lineBreak == std::string_view::npos ? before : before.substr(lineBreak + 1);
    const auto lines = std::count(before.begin(), before.end(), '\n');
    const auto characters = std::count_if(line.begin(), line.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    return "line " + std::to_string(lines + 1) + ", column " + std::to_string(characters + 1);
}

bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

// What the parser wanted where it stopped. Its own message names its grammar's tokens and
// quotes what it read last, which may be a long run of anything the file holds; this keeps only
// the kind of fault, known from the message's fixed words once the quote is taken out.
std::string Expectation(std::string message, const std::string &lastRead)
{
    const std::string quote = "; last read: '" + lastRead + "'";
    if (const std::size_t at = message.find(quote); at != std::string::npos)
        message.erase(at, quote.size());
    static const std::pair<std::string_view, std::string_view> faults[] = {
        {"; expected end of input", "the end of the document"},
        {"invalid string: missing closing quote", "a closing quote"},
        {"invalid string: ill-formed UTF-8", "UTF-8 text"},
        {"invalid string: control character", "control characters in a string to be escaped"},
        {"invalid string", "a valid escape in a string"},
        {"invalid number", "digits in a number"},
        {"invalid BOM", "a whole byte order mark (EF BB BF)"},
        // Otherwise the fault is the token found, and what would do follows from where it is.
        {"while parsing object key", "a key in double quotes"},
        {"while parsing object separator", "':'"},
        {"while parsing object ", "',' or '}'"},
        {"while parsing array", "',' or ']'"},
        {"while parsing value", "a value"},
    };
    for (const auto &[words, expected] : faults)
        if (Contains(message, words))
            return "expected " + std::string(expected);
    return "expected json";
}

// A key as a message quotes it: escaped, so that it cannot break the line, and cut short.
std::string QuotedKey(const std::string &key, std::size_t characters)
{
    return Excerpt(Json(key).dump(-1, ' ', false, Json::error_handler_t::replace), characters);
}

// Builds the tree as the parser meets its values, and judges depth and keys on the way.
class TreeBuilder : public nlohmann::json_sax<Json> {
public:
    TreeBuilder(std::string_view bytes, const JsonLimits &limits) : m_bytes(bytes), m_limits(limits)
    {
    }

    Json &tree() { return m_tree; }
    const std::string &refusal() const { return m_refusal; }

    bool null() override { return take(nullptr); }
    bool boolean(bool value) override { return take(value); }
    bool number_integer(number_integer_t value) override { return take(value); }
    bool number_unsigned(number_unsigned_t value) override { return take(value); }
    bool number_float(number_float_t value, const string_t &) override { return take(value); }
    bool string(string_t &value) override { return take(std::move(value)); }
    // Json text holds no binary values.
    bool binary(binary_t &) override { return false; }
    bool start_object(std::size_t) override { return enter(Json::object()); }
    bool start_array(std::size_t) override { return enter(Json::array()); }
    bool end_object() override { return leave(); }
    bool end_array() override { return leave(); }

    bool key(string_t &name) override
    {
        if (!withinDepth())
            return false;
        Level &level = m_levels.back();
        if (m_limits.refuseRepeatedKeys && !level.keys.insert(name).second) {
            const std::string path = pathText();
            m_refusal = (path.empty() ? "" : path + ": ") + "the key " + QuotedKey(name, 40) +
                        " is given twice";
            return false;
        }
        level.key = std::move(name);
        level.keepNext = level.node && m_limits.kept(level.key);
        return true;
    }

    bool parse_error(std::size_t position, const std::string &lastRead,
                     const nlohmann::detail::exception &error) override
    {
        m_refusal =
            "not json: " + Place(m_bytes, position) + ": " + Expectation(error.what(), lastRead);
        return false;
    }

private:
    // An object or array the parser is inside. A skipped one has no node, and neither has
    // anything inside it.
    struct Level {
        Json *node = nullptr;
        bool array = false;
        // In an object: the key whose value comes next, whether that value is kept, and every
        // key met so far when repeated ones are refused.
        std::string key;
        bool keepNext = false;
        std::set<std::string> keys;
        // In an array: the values so far, the one being read included.
        std::size_t items = 0;
    };

    // Depth is judged as each value, key or level starts, by the levels around it: the level
    // past the limit may still open, but nothing may stand in it.
    bool withinDepth()
    {
        if (m_levels.size() <= static_cast<std::size_t>(m_limits.maxDepth))
            return true;
        m_refusal = "nested deeper than " + std::to_string(m_limits.maxDepth) +
                    " levels, which no " + m_limits.what + " is";
        return false;
    }

    // Puts the value where it belongs: nullptr where it is skipped.
    Json *place(Json &&value)
    {
        if (m_levels.empty())
            return &(m_tree = std::move(value));
        Level &level = m_levels.back();
        if (level.array)
            ++level.items;
        if (!level.node || (!level.array && !level.keepNext))
            return nullptr;
        if (level.array)
            return &level.node->emplace_back(std::move(value));
        return &((*level.node)[level.key] = std::move(value));
    }

    bool take(Json &&scalar)
    {
        if (!withinDepth())
            return false;
        place(std::move(scalar));
        return true;
    }

    bool enter(Json &&container)
    {
        if (!withinDepth())
            return false;
        Level level;
        level.array = container.is_array();
        level.node = place(std::move(container));
        m_levels.push_back(std::move(level));
        return true;
    }

    bool leave()
    {
        m_levels.pop_back();
        return true;
    }

    // The way from the top of the document to the object being read: "\"entries\" item 2".
    std::string pathText() const
    {
        std::string path;
        for (std::size_t i = 0; i + 1 < m_levels.size(); ++i) {
            const Level &level = m_levels[i];
            if (level.array)
                path += (path.empty() ? "item " : " item ") + std::to_string(level.items);
            else
                path += (path.empty() ? "" : ", ") + QuotedKey(level.key, 16);
        }
        return path;
    }

    std::string_view m_bytes;
    const JsonLimits &m_limits;
    Json m_tree;
    std::vector<Level> m_levels;
    std::string m_refusal;
};

} // namespace

Expected<Json> ReadJsonDocument(std::string_view bytes, const JsonLimits &limits)
{
    TreeBuilder builder(bytes, limits);
    if (!Json::sax_parse(bytes.begin(), bytes.end(), &builder))
        return Fail(builder.refusal());
    return std::move(builder.tree());
}
