#include "Json.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace bexora::auction {

// Reading and writing are nlohmann-json's; the value type above stays, since
// the site's code and its tests read requests through Get/Items.
using Tree = nlohmann::ordered_json;

namespace {

// Requests are flat; a document nested deeper than this is refused rather
// than copied by recursion.
constexpr int kMaxDepth = 64;

struct TooDeep {};

Json FromTree(const Tree& t, int depth = 0) {
    if (depth > kMaxDepth) throw TooDeep{};
    switch (t.type()) {
        case Tree::value_t::null:
        case Tree::value_t::discarded: return Json();
        case Tree::value_t::boolean: return Json(t.get<bool>());
        case Tree::value_t::number_integer:
        case Tree::value_t::number_unsigned:
        case Tree::value_t::number_float: return Json(t.get<double>());
        case Tree::value_t::string: return Json(t.get<std::string>());
        case Tree::value_t::array: {
            Json a = Json::Array();
            for (const Tree& item : t) a.Push(FromTree(item, depth + 1));
            return a;
        }
        case Tree::value_t::object: {
            Json o = Json::Object();
            for (auto it = t.begin(); it != t.end(); ++it) o[it.key()] = FromTree(it.value(), depth + 1);
            return o;
        }
        case Tree::value_t::binary: break;
    }
    return Json();
}

Tree ToTree(const Json& v) {
    switch (v.type()) {
        case Json::Type::Null: return nullptr;
        case Json::Type::Bool: return v.AsBool();
        case Json::Type::Number: {
            // Whole numbers (prices in cents, counts, times) are written
            // without a fraction.
            const double d = v.AsNumber();
            if (d == std::floor(d) && std::fabs(d) < 1e15) return static_cast<int64_t>(d);
            return d;
        }
        case Json::Type::String: return v.AsString();
        case Json::Type::Array: {
            Tree a = Tree::array();
            for (const Json& item : v.Items()) a.push_back(ToTree(item));
            return a;
        }
        case Json::Type::Object: {
            Tree o = Tree::object();
            for (const auto& [key, member] : v.Members()) o[key] = ToTree(member);
            return o;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<Json> Json::Parse(const std::string& text, std::string* error) {
    try {
        return FromTree(Tree::parse(text));
    } catch (const nlohmann::json::exception& e) {
        if (error) *error = e.what();
    } catch (const TooDeep&) {
        if (error) *error = "nested more than " + std::to_string(kMaxDepth) + " levels deep";
    }
    return std::nullopt;
}

std::string Json::Dump() const {
    // Titles the site was given may hold bytes that are not UTF-8: they are
    // replaced rather than making the whole answer unreadable.
    return ToTree(*this).dump(-1, ' ', false, Tree::error_handler_t::replace);
}

const Json* Json::Get(const std::string& key) const {
    if (m_type != Type::Object) return nullptr;
    for (const auto& [k, v] : m_members)
        if (k == key) return &v;
    return nullptr;
}

Json& Json::operator[](const std::string& key) {
    if (m_type != Type::Object) *this = Object();
    for (auto& [k, v] : m_members)
        if (k == key) return v;
    m_members.emplace_back(key, Json());
    return m_members.back().second;
}

void Json::Push(Json v) {
    if (m_type != Type::Array) *this = Array();
    m_items.push_back(std::move(v));
}

}  // namespace bexora::auction
