#include "io/Json.h"

#include "io/NumberText.h"

#include <cmath>

namespace marlinq::json {

Value Value::boolean(bool b) {
    Value v;
    v.kind_ = Kind::Bool;
    v.bool_ = b;
    return v;
}

Value Value::number(double x, Digits digits) {
    Value v;
    v.kind_ = Kind::Number;
    v.number_ = x;
    v.digits_ = digits;
    return v;
}

Value Value::number(const std::optional<double>& x, Digits digits) { return x ? number(*x, digits) : Value(); }

Value Value::integer(std::int64_t x) {
    Value v;
    v.kind_ = Kind::Integer;
    v.integer_ = x;
    return v;
}

Value Value::string(std::string s) {
    Value v;
    v.kind_ = Kind::String;
    v.string_ = std::move(s);
    return v;
}

Value Value::array(std::vector<Value> items) {
    Value v;
    v.kind_ = Kind::Array;
    v.items_ = std::move(items);
    return v;
}

Value Value::object(std::vector<Member> members) {
    Value v;
    v.kind_ = Kind::Object;
    v.members_ = std::move(members);
    return v;
}

Value& Value::push(Value item) {
    items_.push_back(std::move(item));
    return *this;
}

Value& Value::add(std::string key, Value value) {
    members_.emplace_back(std::move(key), std::move(value));
    return *this;
}

const Value* Value::find(std::string_view key) const {
    for (const Member& m : members_)
        if (m.first == key) return &m.second;
    return nullptr;
}

std::string quoted(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char ch : s) {
        const auto u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (u < 0x20) {
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

namespace {

void append(std::string& out, const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null: out += "null"; return;
        case Value::Kind::Bool: out += v.asBool() ? "true" : "false"; return;
        case Value::Kind::Number:
            if (!std::isfinite(v.asNumber())) out += "null";
            else if (v.digits() == Digits::Seventeen) out += formatReal17(v.asNumber());
            else appendShortest(out, v.asNumber());
            return;
        case Value::Kind::Integer: appendInteger(out, v.asInteger()); return;
        case Value::Kind::String: out += quoted(v.asString()); return;
        case Value::Kind::Array:
            out += '[';
            for (std::size_t k = 0; k < v.items().size(); ++k) {
                if (k) out += ", ";
                append(out, v.items()[k]);
            }
            out += ']';
            return;
        case Value::Kind::Object:
            out += '{';
            for (std::size_t k = 0; k < v.members().size(); ++k) {
                if (k) out += ", ";
                out += quoted(v.members()[k].first);
                out += ": ";
                append(out, v.members()[k].second);
            }
            out += '}';
            return;
    }
}

}  // namespace

std::string text(const Value& v) {
    std::string out;
    append(out, v);
    return out;
}

std::string document(const Value& object) {
    if (object.kind() != Value::Kind::Object) return text(object) + "\n";
    std::string out = "{\n";
    const std::vector<Value::Member>& members = object.members();
    for (std::size_t k = 0; k < members.size(); ++k) {
        out += "  ";
        out += quoted(members[k].first);
        out += ": ";
        append(out, members[k].second);
        out += k + 1 < members.size() ? ",\n" : "\n";
    }
    return out + "}\n";
}

}  // namespace marlinq::json
