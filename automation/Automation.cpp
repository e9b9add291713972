#include "automation/Automation.h"

#include "rtl/charset.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace automation {

namespace {

[[noreturn]] void typeMismatch() {
    throw EOleError("Tipo incompat\xedvel");
}

std::string plainNumber(double d) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

} // namespace

const std::string& Variant::text() const {
    if (auto p = std::get_if<std::string>(&v_)) return *p;
    typeMismatch();
}

std::string Variant::textUtf8() const {
    return utf8_ ? text() : rtl::toUtf8(text(), rtl::cs::None);
}

bool Variant::boolean() const {
    if (auto p = std::get_if<bool>(&v_)) return *p;
    typeMismatch();
}

std::int32_t Variant::integer() const {
    if (auto p = std::get_if<std::int32_t>(&v_)) return *p;
    typeMismatch();
}

double Variant::real() const {
    if (auto p = std::get_if<double>(&v_)) return *p;
    typeMismatch();
}

Currency Variant::currency() const {
    if (auto p = std::get_if<Currency>(&v_)) return *p;
    typeMismatch();
}

const DispatchPtr& Variant::object() const {
    if (auto p = std::get_if<DispatchPtr>(&v_)) return *p;
    typeMismatch();
}

OleDate Variant::date() const {
    if (auto p = std::get_if<OleDate>(&v_)) return *p;
    typeMismatch();
}

std::int32_t Variant::toInt32() const {
    // Automation rounds halves to even when it narrows a number to an integer.
    auto narrow = [](double d) -> std::int32_t {
        double r = std::nearbyint(d);
        if (!(r >= std::numeric_limits<std::int32_t>::min() &&
              r <= std::numeric_limits<std::int32_t>::max()))
            throw EOleError("Estouro de capacidade");
        return static_cast<std::int32_t>(r);
    };
    switch (kind()) {
    case Kind::Empty:
        return 0;
    case Kind::Boolean:
        return boolean() ? -1 : 0;
    case Kind::Integer:
        return integer();
    case Kind::Double:
        return narrow(real());
    case Kind::Currency:
        return narrow(currency().toDouble());
    case Kind::Date:
        return narrow(date().serial);
    case Kind::Text: {
        const std::string& s = text();
        std::int32_t v = 0;
        auto b = s.data(), e = s.data() + s.size();
        while (b < e && *b == ' ')
            ++b;
        while (e > b && e[-1] == ' ')
            --e;
        auto r = std::from_chars(b, e, v);
        if (b == e || r.ec != std::errc() || r.ptr != e) typeMismatch();
        return v;
    }
    case Kind::Object:
        break;
    }
    typeMismatch();
}

bool Variant::toBool() const {
    switch (kind()) {
    case Kind::Empty:
        return false;
    case Kind::Boolean:
        return boolean();
    case Kind::Integer:
        return integer() != 0;
    case Kind::Double:
        return real() != 0.0;
    case Kind::Currency:
        return currency().raw() != 0;
    case Kind::Date:
        return date().serial != 0.0;
    case Kind::Text:
    case Kind::Object:
        break;
    }
    typeMismatch();
}

std::string Variant::describe() const {
    switch (kind()) {
    case Kind::Empty:
        return "empty";
    case Kind::Text:
        return (utf8_ ? "u\"" : "\"") + text() + '"';
    case Kind::Boolean:
        return boolean() ? "true" : "false";
    case Kind::Integer:
        return "i:" + std::to_string(integer());
    case Kind::Double:
        return "d:" + plainNumber(real());
    case Kind::Currency: {
        // Fixed "." and no locale: the log must read the same everywhere.
        std::int64_t s = currency().raw();
        std::uint64_t a = s < 0 ? 0 - static_cast<std::uint64_t>(s) : static_cast<std::uint64_t>(s);
        std::string out = (s < 0 ? "cy:-" : "cy:") + std::to_string(a / 10000);
        if (auto frac = a % 10000) {
            std::string f = std::to_string(frac + 10000).substr(1);
            while (f.back() == '0')
                f.pop_back();
            out += "." + f;
        }
        return out;
    }
    case Kind::Object:
        return "obj";
    case Kind::Date:
        return "dt:" + plainNumber(date().serial);
    }
    return {};
}

Variant AutoObject::invoke(std::string_view name, Invoke kind,
                           std::span<const Variant> args) const {
    if (!d_)
        throw EOleError("Objeto de automa\xe7\xe3o n\xe3o atribu\xed"
                        "do ao chamar '" +
                        std::string(name) + "'");
    return d_->invoke(name, kind, args);
}

AutoObject AutoObject::get(std::string_view name, std::initializer_list<Variant> args) const {
    Variant r = invoke(name, Invoke::Get, std::span<const Variant>(args.begin(), args.size()));
    if (r.kind() != Variant::Kind::Object || !r.object())
        throw EOleError("'" + std::string(name) + "' n\xe3o \xe9 um objeto");
    return AutoObject(r.object());
}

Variant AutoObject::value(std::string_view name, std::initializer_list<Variant> args) const {
    return invoke(name, Invoke::Get, std::span<const Variant>(args.begin(), args.size()));
}

void AutoObject::set(std::string_view name, const Variant& v) const {
    invoke(name, Invoke::Put, std::span<const Variant>(&v, 1));
}

void AutoObject::set(std::string_view name, std::initializer_list<Variant> index,
                     const Variant& v) const {
    std::vector<Variant> args(index);
    args.push_back(v);
    invoke(name, Invoke::Put, args);
}

Variant AutoObject::call(std::string_view name, std::initializer_list<Variant> args) const {
    return invoke(name, Invoke::Method, std::span<const Variant>(args.begin(), args.size()));
}

AutoObject attachOrCreate(const std::string& progId) {
    try {
        return getActiveObject(progId);
    } catch (const std::exception&) {
    }
    return createOleObject(progId);
}

} // namespace automation
