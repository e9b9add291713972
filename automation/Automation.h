#pragma once
// Late-bound automation: objects called by name (property get, property set,
// method call) with variant arguments and results, reached by attaching to a
// running server or creating one from its programmatic identifier.
//
// This header is the whole boundary the rest of the program sees. On Linux
// the servers are the built-in ones of automation/Servers.h; a Windows build
// would bind Dispatch to IDispatch (GetIDsOfNames + Invoke) and the two entry
// points to GetActiveObject / CoCreateInstance, and nothing above would change.
// Texts are Latin-1 bytes, as everywhere below the UI edge, except a text
// built with Variant::utf8 (a database's text that Latin-1 cannot hold);
// IDispatch would receive either as a BSTR.
#include "rtl/currency.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace automation {

/// Every failure of an automation call or of reaching a server.
class EOleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Dispatch;
using DispatchPtr = std::shared_ptr<Dispatch>;

/// A currency amount: a count of ten-thousandths (four fixed decimals).
using Currency = rtl::Currency;

/// A date, a time or both, as automation passes them: days since 30 December
/// 1899, the fraction the time of day.
struct OleDate {
    double serial = 0;
    friend bool operator==(const OleDate&, const OleDate&) = default;
};

/// A value handed to or returned by an automation call.
class Variant {
public:
    enum class Kind { Empty, Text, Boolean, Integer, Double, Currency, Object, Date };

    Variant() = default;
    Variant(std::string s) : v_(std::move(s)) {}
    Variant(const char* s) : v_(std::string(s)) {}
    Variant(bool b) : v_(b) {}
    Variant(std::int32_t i) : v_(i) {}
    Variant(double d) : v_(d) {}
    Variant(Currency c) : v_(c) {}
    Variant(DispatchPtr o) : v_(std::move(o)) {}
    Variant(OleDate d) : v_(d) {}
    /// A text given in UTF-8 (kind Text, isUtf8()).
    static Variant utf8(std::string s) {
        Variant v(std::move(s));
        v.utf8_ = true;
        return v;
    }

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isEmpty() const { return kind() == Kind::Empty; }

    /// Exact accessors: throw EOleError ("Tipo incompatível") on another kind.
    const std::string& text() const;
    /// The text was built with Variant::utf8: text() holds UTF-8, not Latin-1.
    bool isUtf8() const { return utf8_; }
    /// The text in UTF-8, whichever way it was built.
    std::string textUtf8() const;
    bool boolean() const;
    std::int32_t integer() const;
    double real() const;
    Currency currency() const;
    const DispatchPtr& object() const;
    OleDate date() const;

    /// Coercions as an automation server applies them to its arguments;
    /// throw EOleError when the value cannot be converted.
    std::int32_t toInt32() const;
    bool toBool() const;

    /// A short typed rendering for logs and test expectations: empty, "abc"
    /// (quotes, no escaping; u"abc" for a UTF-8 text), true/false, i:12,
    /// d:1.5, cy:12.5, obj, dt:45651.5.
    std::string describe() const;

    friend bool operator==(const Variant&, const Variant&) = default;

private:
    std::variant<std::monostate, std::string, bool, std::int32_t, double, Currency, DispatchPtr,
                 OleDate>
        v_;
    bool utf8_ = false;
};

/// How a name is invoked. Put passes the index arguments first and the value
/// last, as IDispatch does.
enum class Invoke { Method, Get, Put };

/// An automation object: every member is reached by name (case-insensitive,
/// as the servers resolve names). Implementations throw EOleError.
class Dispatch {
public:
    virtual ~Dispatch() = default;
    virtual Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) = 0;
};

/// A handle over a Dispatch that makes call sites read like the late-bound
/// calls they are: w.get("Documents").call("Add"). Copies share the object.
class AutoObject {
public:
    AutoObject() = default;
    explicit AutoObject(DispatchPtr d) : d_(std::move(d)) {}

    bool bound() const { return d_ != nullptr; }
    const DispatchPtr& dispatch() const { return d_; }
    /// Drops this handle's reference to the object.
    void release() { d_.reset(); }

    /// Property get; the result must be an object (EOleError otherwise).
    AutoObject get(std::string_view name, std::initializer_list<Variant> args = {}) const;
    /// Property get returning any value.
    Variant value(std::string_view name, std::initializer_list<Variant> args = {}) const;
    /// Property set: obj.name := v.
    void set(std::string_view name, const Variant& v) const;
    /// Indexed property set: obj.name(index...) := v.
    void set(std::string_view name, std::initializer_list<Variant> index, const Variant& v) const;
    /// Method call.
    Variant call(std::string_view name, std::initializer_list<Variant> args = {}) const;

    /// The object as an argument of another call.
    operator Variant() const { return Variant(d_); }

private:
    Variant invoke(std::string_view name, Invoke kind, std::span<const Variant> args) const;
    DispatchPtr d_;
};

/// Thrown by a call whose progress function (ScopedCallProgress) asked it to
/// stop. Whatever the call was writing is left as it was before.
class ECancelled : public EOleError {
public:
    ECancelled() : EOleError("Opera\xe7\xe3o cancelada") {}
};

/// Long work inside one call (the SaveAs of a large document) reports, now
/// and then, to the function installed by the innermost live guard of the
/// calling thread: `done` of `total` steps, or `total` < 0 while the amount
/// is unknown. When the function returns false the call stops as soon as it
/// can and throws ECancelled. Small documents save without reporting. Only
/// the built-in servers report; a server that does not runs the call to its end.
class ScopedCallProgress {
public:
    using Function = std::function<bool(std::int64_t done, std::int64_t total)>;
    explicit ScopedCallProgress(Function f);
    ~ScopedCallProgress();
    ScopedCallProgress(const ScopedCallProgress&) = delete;
    ScopedCallProgress& operator=(const ScopedCallProgress&) = delete;

private:
    Function f_;
    const Function* previous_;
};

/// Attaches to a running instance of the server registered as `progId`.
/// Throws EOleError when none is running or the server is unknown.
AutoObject getActiveObject(const std::string& progId);

/// Starts a new instance of the server registered as `progId`. Throws
/// EOleError when the identifier is unknown or the server cannot start.
AutoObject createOleObject(const std::string& progId);

/// Attaches to a running instance of `progId` or, when that fails, starts
/// one; the usual way a client reaches a server. Throws the error of the
/// start when both fail.
AutoObject attachOrCreate(const std::string& progId);

} // namespace automation
