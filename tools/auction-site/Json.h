#pragma once
// The control API's JSON value: objects (keys in the order given), arrays,
// strings, numbers, booleans and null. Text is read and written by
// nlohmann-json.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bexora::auction {

class Json {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    Json() = default;
    Json(std::nullptr_t) {}
    Json(bool b) : m_type(Type::Bool), m_bool(b) {}
    Json(int v) : m_type(Type::Number), m_number(v) {}
    Json(int64_t v) : m_type(Type::Number), m_number(static_cast<double>(v)) {}
    Json(size_t v) : m_type(Type::Number), m_number(static_cast<double>(v)) {}
    Json(double v) : m_type(Type::Number), m_number(v) {}
    Json(const char* s) : m_type(Type::String), m_string(s) {}
    Json(std::string s) : m_type(Type::String), m_string(std::move(s)) {}

    static Json Array() {
        Json j;
        j.m_type = Type::Array;
        return j;
    }
    static Json Object() {
        Json j;
        j.m_type = Type::Object;
        return j;
    }

    // Parses a whole document; nullopt (and error) when it is not valid JSON.
    static std::optional<Json> Parse(const std::string& text, std::string* error = nullptr);
    std::string Dump() const;

    Type type() const { return m_type; }
    bool IsNull() const { return m_type == Type::Null; }
    bool IsBool() const { return m_type == Type::Bool; }
    bool IsNumber() const { return m_type == Type::Number; }
    bool IsString() const { return m_type == Type::String; }
    bool IsArray() const { return m_type == Type::Array; }
    bool IsObject() const { return m_type == Type::Object; }

    bool AsBool() const { return m_bool; }
    double AsNumber() const { return m_number; }
    const std::string& AsString() const { return m_string; }
    const std::vector<Json>& Items() const { return m_items; }
    const std::vector<std::pair<std::string, Json>>& Members() const { return m_members; }

    // Object access: Get returns nullptr when the key is absent.
    const Json* Get(const std::string& key) const;
    Json& operator[](const std::string& key);  // inserts (turns null into object)
    void Push(Json v);                         // appends (turns null into array)

private:
    Type m_type = Type::Null;
    bool m_bool = false;
    double m_number = 0;
    std::string m_string;
    std::vector<Json> m_items;
    std::vector<std::pair<std::string, Json>> m_members;

};

}  // namespace bexora::auction
