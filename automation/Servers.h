#pragma once
// The built-in automation servers of the Linux build and the switches tests
// use on them: which identifiers are registered, whether a server can be
// reached, a running instance to attach to, and a log of every call.
//
// "Word.Application" and "Excel.Application" are registered from the start.
#include "automation/Automation.h"

#include <functional>
#include <string>
#include <vector>

namespace automation {

/// The application object of a server. Once told to quit it refuses every
/// further call, and an attach no longer finds it.
class ServerApplication : public Dispatch {
public:
    virtual bool hasQuit() const = 0;
};

using ServerFactory = std::function<std::shared_ptr<ServerApplication>()>;

/// Registers (or replaces) the server started for `progId`.
void registerServer(const std::string& progId, ServerFactory factory);

/// An unavailable server can neither be attached to nor started: both entry
/// points throw, as when the program is not installed. Servers start available.
void setServerAvailable(const std::string& progId, bool available);

/// Starts an instance as if the user had opened the program: getActiveObject
/// finds it until it quits. Throws EOleError for an unknown identifier.
AutoObject runServer(const std::string& progId);

/// One call as a client issued it.
struct RecordedCall {
    std::string target; ///< path of the called object; "" is the application
    std::string name;   ///< as the caller spelled it
    Invoke kind = Invoke::Method;
    std::vector<Variant> args; ///< for Put: the index arguments, then the value
    bool navigation = false;   ///< a Get that returned an object
    std::string error;         ///< the message when the call threw, else empty
    std::string line;          ///< readable form, see CallLog::lines
};

/// Every call made on the objects of a recorded server, in order, including
/// the attempts to attach to and start it.
class CallLog {
public:
    std::vector<RecordedCall> calls;

    /// The readable lines: `GetActiveObject("Word.Application")`,
    /// `Visible := false`, `Documents.Add()`,
    /// `ActiveDocument.Tables.Add(<ActiveDocument.Range>, i:2, i:3)`,
    /// `Cells(i:1, i:2) := "x"`; a failed call ends with " !! " and the
    /// message. Navigation (a Get that yields an object) is left out unless
    /// asked for.
    std::vector<std::string> lines(bool withNavigation = false) const;
    void clear() { calls.clear(); }
};

/// Records every call of clients of `progId` into `log` (not owned) from now
/// on; nullptr stops recording. Objects handed out while recording keep
/// recording.
void recordCalls(const std::string& progId, CallLog* log);

/// Back to the start: the two built-in servers registered and available, no
/// running instance, no recording. For tests.
void resetServers();

/// The built-in application objects, for registering under other names.
std::shared_ptr<ServerApplication> newWordApplication();
std::shared_ptr<ServerApplication> newExcelApplication();

} // namespace automation
