#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/dialogs.h"

namespace qm {

// A password in memory: one buffer of its own, wiped when it is dropped, never copied.
class Secret {
public:
    Secret() = default;
    // Takes the text and wipes the string it came in.
    explicit Secret(std::string& text);
    ~Secret() { wipe(); }
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    const std::string& text() const { return text_; }
    bool empty() const { return text_.empty(); }
    void wipe();

private:
    std::string text_;
};

// Overwrites a string's characters before it lets them go.
void wipeText(std::string& text);

// From the first typed password on, the process leaves no core file and cannot be read by a
// debugger of the same user: a crash must not put the password on disk.
void protectProcessMemory();

// What a sign-in is for, as its prompts name it: a domain ("branch.test") or a computer ("PC01").
struct SignInTarget {
    std::string name;
    bool isComputer = false;
};

// A user name and password the person typed, and the target they typed them for (a bare user name
// is one of that target's accounts).
struct Login {
    std::string user;  // "name", "name@domain" or "DOMAIN\name"
    Secret password;
    std::string typedFor;
};

// Who the person running Quillmark is, for the directory and the computers: their Kerberos ticket
// when they hold one (the counterpart of running under their Windows account), otherwise a user
// name and password typed in input boxes titled "Quillmark". Credentials live in memory only:
// never logged, never written anywhere.
class Credentials {
public:
    static constexpr int kTries = 3;
    enum class Outcome { SignedIn, Refused, Cancelled };
    // Tries one login on the target: true when the target accepted it, false when it refused the
    // name or password. Any other failure is the attempt's to raise.
    using Attempt = std::function<bool(const Login&)>;

    explicit Credentials(Dialogs& dialogs) : dialogs_(dialogs) {}
    virtual ~Credentials() = default;

    // True when the default credential cache holds a ticket-granting ticket that has not expired.
    virtual bool hasKerberosTicket() const;

    // Signs in to the target with the login the person last had accepted in this run, as running
    // under one account would; when there is none, or the target refuses it, asks for a user name
    // and password that name the target, up to three times, saying when one was refused. A
    // cancelled box gives up this one sign-in; the next one asks again.
    Outcome signIn(const SignInTarget& target, const Attempt& attempt);

private:
    std::optional<Login> ask(const SignInTarget& target, int refusals);

    Dialogs& dialogs_;
    std::optional<Login> accepted_;
};

}  // namespace qm
