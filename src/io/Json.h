#pragma once
// The one JSON writer of the program: a small value (null, true/false, a number, an integer,
// a string, an array, an object with its members in the order given) and its text. The
// summary, the sensitivity, the critical salt and the solve-for answers are built as values
// and written here; the Python module turns the same values into dicts and lists.
//
// Layout: a document (json::document) has one member a line, indented by two spaces;
// values inside it are written on that line, "{"a": 1, "b": [1, 2]}".
// Numbers use the program's number text (io/NumberText.h), with a point whatever the
// locale; a number that is not finite is null.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marlinq::json {

// How a number is written: the shortest text that reads back to it, or 17 significant digits
// (the form some files have always had).
enum class Digits { Shortest, Seventeen };

class Value {
public:
    enum class Kind { Null, Bool, Number, Integer, String, Array, Object };
    using Member = std::pair<std::string, Value>;

    Value() = default;  // null
    static Value null() { return Value(); }
    static Value boolean(bool b);
    static Value number(double v, Digits digits = Digits::Shortest);
    static Value number(const std::optional<double>& v, Digits digits = Digits::Shortest);  // null when empty
    static Value integer(std::int64_t v);
    static Value string(std::string s);
    static Value array(std::vector<Value> items = {});
    static Value object(std::vector<Member> members = {});

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }
    bool asBool() const { return bool_; }
    double asNumber() const { return number_; }
    Digits digits() const { return digits_; }
    std::int64_t asInteger() const { return integer_; }
    const std::string& asString() const { return string_; }
    const std::vector<Value>& items() const { return items_; }
    const std::vector<Member>& members() const { return members_; }

    // An array's next item, an object's next member (returned for chaining).
    Value& push(Value item);
    Value& add(std::string key, Value value);
    // The member of an object named key, nullptr when it has none.
    const Value* find(std::string_view key) const;

private:
    Kind kind_ = Kind::Null;
    bool bool_ = false;
    double number_ = 0.0;
    Digits digits_ = Digits::Shortest;
    std::int64_t integer_ = 0;
    std::string string_;
    std::vector<Value> items_;
    std::vector<Member> members_;
};

// A string in quotes, with '"', '\' and the control characters escaped.
std::string quoted(std::string_view s);
// The value on one line: {"a": 1, "b": [1, 2]}.
std::string text(const Value& v);
// An object as a file: "{\n  \"a\": 1,\n  \"b\": [1, 2]\n}\n", one member a line.
std::string document(const Value& object);

}  // namespace marlinq::json
