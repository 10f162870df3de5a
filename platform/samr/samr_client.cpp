#include "platform/samr/samr_client.h"

#include <strings.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/core/text.h"
#include "platform/samr/samba_config.h"
#include "platform/samr/samba_headers.h"
#include "platform/samr/samr_connect.h"
#include "platform/samr/winnt_errors.h"

namespace qm::samr {

namespace {

// Samba's client state is process-wide: its security mechanisms and its settings, loaded once from
// our own file.
loadparm_context* clientSettings() {
    static loadparm_context* settings = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string path = writeSambaClientConfig(sambaClientFolder());
        // A computer closing the connection in the middle of a call must give an error, not end
        // the program with SIGPIPE, which Samba's own programs ignore the same way.
        std::signal(SIGPIPE, SIG_IGN);
        dcerpc_init();
        // Loading exports SMB_CONF_PATH, which programs started later (the text editor, Samba's
        // own tools) would inherit and follow to our private settings: put back what was there.
        const char* before = std::getenv("SMB_CONF_PATH");
        const std::optional<std::string> exported =
            before != nullptr ? std::optional<std::string>(before) : std::nullopt;
        loadparm_context* lp = loadparm_init_global(false);
        const bool loaded = lp != nullptr && lpcfg_load(lp, path.c_str());
        if (exported) {
            setenv("SMB_CONF_PATH", exported->c_str(), 1);
        } else {
            unsetenv("SMB_CONF_PATH");
        }
        if (!loaded) {
            throw winNtError(hresultFromWin32(win32::InvalidData),
                             "Samba's client libraries cannot read their settings file " + path);
        }
        settings = lp;
    });
    return settings;
}

// Memory for the answers of one operation, freed when it is done.
class Scratch {
public:
    explicit Scratch(TALLOC_CTX* parent) : mem_(talloc_new(parent)) {}
    ~Scratch() { talloc_free(mem_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    operator TALLOC_CTX*() const { return mem_; }  // NOLINT

private:
    TALLOC_CTX* mem_;
};

cli_credentials* makeCredentials(TALLOC_CTX* mem, loadparm_context* lp, const Login& login) {
    cli_credentials* credentials = cli_credentials_init(mem);
    cli_credentials_set_conf(credentials, lp);
    if (login.kerberos) {
        cli_credentials_set_kerberos_state(credentials, CRED_USE_KERBEROS_REQUIRED, CRED_SPECIFIED);
        const char* error = nullptr;
        if (cli_credentials_set_ccache(credentials, lp, nullptr, CRED_SPECIFIED, &error) != 0) {
            throw Failure(NT_STATUS_V(NT_STATUS_NO_SUCH_LOGON_SESSION),
                          "reading the Kerberos credential cache");
        }
        return credentials;
    }
    cli_credentials_set_kerberos_state(credentials, CRED_USE_KERBEROS_DISABLED, CRED_SPECIFIED);
    cli_credentials_set_username(credentials, cString(login.user), CRED_SPECIFIED);
    cli_credentials_set_domain(credentials, cString(login.domain), CRED_SPECIFIED);
    // Samba keeps its copy in memory it wipes when it frees it.
    cli_credentials_set_password(credentials, login.password, CRED_SPECIFIED);
    return credentials;
}

void check(NTSTATUS status, const char* step) {
    if (!NT_STATUS_IS_OK(status)) {
        throw Failure(NT_STATUS_V(status), step);
    }
}

bool unitAllowed(const Bytes& bits, std::uint64_t unit) {
    return (bits[unit / 8] >> (unit % 8) & 1) != 0;
}

}  // namespace

std::optional<Bytes> hourlyBits(std::uint32_t unitsPerWeek, const Bytes& bits) {
    constexpr std::uint64_t kHours = 168;
    if (unitsPerWeek == 0 || bits.size() < (unitsPerWeek + 7) / 8) {
        return std::nullopt;
    }
    Bytes hours(kHours / 8, 0);
    for (std::uint64_t hour = 0; hour < kHours; ++hour) {
        const std::uint64_t first = hour * unitsPerWeek / kHours;
        const std::uint64_t end = ((hour + 1) * unitsPerWeek + kHours - 1) / kHours;
        bool allowed = true;
        for (std::uint64_t unit = first; unit < end && allowed; ++unit) {
            allowed = unitAllowed(bits, unit);
        }
        hours[hour / 8] |= static_cast<std::uint8_t>(allowed ? 1U << (hour % 8) : 0U);
    }
    return hours;
}

struct AccountDomain::Impl {
    TALLOC_CTX* mem = talloc_new(nullptr);  // owns the connection and everything it uses
    dcerpc_pipe* pipe = nullptr;
    policy_handle connectHandle{};
    policy_handle domainHandle{};
    bool connectOpen = false;
    bool domainOpen = false;
    std::string computerName;
    std::string host;

    // A call the computer did not answer in time leaves it suspected of having stopped.
    NTSTATUS transport(NTSTATUS status) {
        if (NT_STATUS_EQUAL(status, NT_STATUS_IO_TIMEOUT)) {
            Silence::timedOut(host);
        }
        return status;
    }

    ~Impl() {
        // Closing is a courtesy to the server, which drops the handles with the connection anyway,
        // and a destructor has nobody to report a failure to.
        if (domainOpen) {
            closeHandle(domainHandle);
        }
        if (connectOpen) {
            closeHandle(connectHandle);
        }
        talloc_free(mem);
    }

    // One SAMR call; a transport failure and a refusal by the computer both raise Failure.
    template <typename Request>
    void call(std::uint32_t opnum, Request& request, TALLOC_CTX* answers, const char* step) {
        callAllowingMore(opnum, request, answers, step);
        check(request.out.result, step);
    }

    // The same, for a call that reports STATUS_MORE_ENTRIES while a list continues.
    template <typename Request>
    void callAllowingMore(std::uint32_t opnum, Request& request, TALLOC_CTX* answers,
                          const char* step) {
        check(transport(dcerpc_binding_handle_call(pipe->binding_handle, nullptr, &ndr_table_samr,
                                                   opnum, answers, &request)),
              step);
        if (!NT_STATUS_EQUAL(request.out.result, STATUS_MORE_ENTRIES)) {
            check(request.out.result, step);
        }
    }

    void closeHandle(policy_handle& handle) {
        Scratch scratch(mem);
        samr_Close close{};
        close.in.handle = &handle;
        close.out.handle = &handle;
        dcerpc_binding_handle_call(pipe->binding_handle, nullptr, &ndr_table_samr, NDR_SAMR_CLOSE,
                                   scratch, &close);
    }

    void connect(const std::string& host, const Login& login) {
        loadparm_context* lp = clientSettings();
        tevent_context* events = tevent_context_init(mem);
        if (events == nullptr) {
            throw Failure(NT_STATUS_V(NT_STATUS_NO_MEMORY), "preparing the connection");
        }
        dcerpc_binding* binding = nullptr;
        check(dcerpc_parse_binding(mem, "ncacn_np:", &binding), "preparing the connection");
        check(dcerpc_binding_set_string_option(binding, "host", cString(host)),
              "preparing the connection");
        check(connectPipe(mem, &pipe, binding, makeCredentials(mem, lp, login), events, lp),
              "connecting");
        dcerpc_binding_handle_set_timeout(pipe->binding_handle, kAnswerTimeoutSeconds);

        Scratch scratch(mem);
        samr_Connect2 request{};
        request.in.system_name = "";
        request.in.access_mask = SAMR_ACCESS_ENUM_DOMAINS | SAMR_ACCESS_LOOKUP_DOMAIN;
        request.out.connect_handle = &connectHandle;
        call(NDR_SAMR_CONNECT2, request, scratch, "opening the account database");
        connectOpen = true;
    }

    std::string accountDomainName() {
        Scratch scratch(mem);
        std::uint32_t resume = 0;
        std::uint32_t count = 0;
        samr_SamArray* domains = nullptr;
        samr_EnumDomains request{};
        request.in.connect_handle = &connectHandle;
        request.in.resume_handle = &resume;
        request.in.buf_size = 0xFFFFFFFF;
        request.out.resume_handle = &resume;
        request.out.sam = &domains;
        request.out.num_entries = &count;
        call(NDR_SAMR_ENUMDOMAINS, request, scratch, "listing the account domains");
        for (std::uint32_t i = 0; domains != nullptr && i < domains->count; ++i) {
            const char* name = domains->entries[i].name.string;
            if (name != nullptr && strcasecmp(name, "Builtin") != 0) {
                return name;
            }
        }
        throw Failure(NT_STATUS_V(NT_STATUS_NO_SUCH_DOMAIN), "finding the account domain");
    }

    void openDomain(const std::string& name) {
        Scratch scratch(mem);
        lsa_String domainName{};
        domainName.string = name.c_str();
        dom_sid* sid = nullptr;
        samr_LookupDomain lookup{};
        lookup.in.connect_handle = &connectHandle;
        lookup.in.domain_name = &domainName;
        lookup.out.sid = &sid;
        call(NDR_SAMR_LOOKUPDOMAIN, lookup, scratch, "finding the account domain");

        samr_OpenDomain open{};
        open.in.connect_handle = &connectHandle;
        open.in.access_mask = SAMR_DOMAIN_ACCESS_LOOKUP_INFO_2 | SAMR_DOMAIN_ACCESS_ENUM_ACCOUNTS |
                              SAMR_DOMAIN_ACCESS_OPEN_ACCOUNT;
        open.in.sid = sid;
        open.out.domain_handle = &domainHandle;
        call(NDR_SAMR_OPENDOMAIN, open, scratch, "opening the account domain");
        domainOpen = true;
    }

    void readComputerName() {
        Scratch scratch(mem);
        samr_DomainInfo* info = nullptr;
        samr_QueryDomainInfo request{};
        request.in.domain_handle = &domainHandle;
        request.in.level = DomainGeneralInformation;
        request.out.info = &info;
        call(NDR_SAMR_QUERYDOMAININFO, request, scratch, "reading the computer's name");
        if (info != nullptr && info->general.primary.string != nullptr) {
            computerName = info->general.primary.string;
        }
    }

    // The user's handle, with whatever rights the caller has: a refused write then fails at the
    // write, where the administrator expects to see it.
    policy_handle openUser(std::uint32_t rid, TALLOC_CTX* scratch) {
        policy_handle user{};
        samr_OpenUser request{};
        request.in.domain_handle = &domainHandle;
        request.in.access_mask = SEC_FLAG_MAXIMUM_ALLOWED;
        request.in.rid = rid;
        request.out.user_handle = &user;
        call(NDR_SAMR_OPENUSER, request, scratch, "opening the user account");
        return user;
    }

    // A user account opened for one read or write, closed again whatever happens.
    class UserHandle {
    public:
        UserHandle(Impl& domain, std::uint32_t rid, TALLOC_CTX* scratch)
            : domain_(domain), handle_(domain.openUser(rid, scratch)) {}
        ~UserHandle() { domain_.closeHandle(handle_); }
        UserHandle(const UserHandle&) = delete;
        UserHandle& operator=(const UserHandle&) = delete;
        policy_handle* get() { return &handle_; }

    private:
        Impl& domain_;
        policy_handle handle_;
    };
};

AccountDomain::AccountDomain(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AccountDomain::~AccountDomain() = default;

std::shared_ptr<AccountDomain> AccountDomain::open(const std::string& host, const Login& login) {
    if (const std::uint32_t status = Silence::givenUp(host); status != 0) {
        throw Failure(status, "connecting (the computer stopped answering earlier in this run)");
    }
    auto impl = std::make_unique<Impl>();
    impl->host = host;
    try {
        impl->connect(host, login);
    } catch (const Failure& failure) {
        Silence::connected(host, failure.status());
        throw;
    }
    Silence::connected(host, 0);
    impl->openDomain(impl->accountDomainName());
    impl->readComputerName();
    return std::shared_ptr<AccountDomain>(new AccountDomain(std::move(impl)));
}

const std::string& AccountDomain::computerName() const {
    return impl_->computerName;
}

std::vector<Account> AccountDomain::users() {
    std::vector<Account> accounts;
    std::uint32_t resume = 0;
    for (;;) {
        Scratch scratch(impl_->mem);
        samr_SamArray* page = nullptr;
        std::uint32_t count = 0;
        samr_EnumDomainUsers request{};
        request.in.domain_handle = &impl_->domainHandle;
        request.in.resume_handle = &resume;
        request.in.acct_flags = ACB_NORMAL;
        request.in.max_size = 0xFFFF;
        request.out.resume_handle = &resume;
        request.out.sam = &page;
        request.out.num_entries = &count;
        impl_->callAllowingMore(NDR_SAMR_ENUMDOMAINUSERS, request, scratch, "listing the users");
        for (std::uint32_t i = 0; page != nullptr && i < page->count; ++i) {
            const char* name = page->entries[i].name.string;
            accounts.push_back({name != nullptr ? name : "", page->entries[i].idx});
        }
        if (!NT_STATUS_EQUAL(request.out.result, STATUS_MORE_ENTRIES)) {
            return accounts;
        }
    }
}

LogonHours AccountDomain::logonHours(std::uint32_t rid) {
    Scratch scratch(impl_->mem);
    Impl::UserHandle user(*impl_, rid, scratch);
    samr_UserInfo* info = nullptr;
    samr_QueryUserInfo request{};
    request.in.user_handle = user.get();
    request.in.level = UserLogonHoursInformation;
    request.out.info = &info;
    impl_->call(NDR_SAMR_QUERYUSERINFO, request, scratch, "reading the logon hours");

    // The wire carries units_per_week / 8 bytes, whatever the units.
    const samr_LogonHours& stored = info->info4.logon_hours;
    LogonHours hours;
    hours.unitsPerWeek = stored.units_per_week;
    if (stored.bits != nullptr) {
        hours.bits.assign(stored.bits, stored.bits + (stored.units_per_week + 7) / 8);
    }
    if (auto hourly = hourlyBits(hours.unitsPerWeek, hours.bits)) {
        return {168, std::move(*hourly)};
    }
    return hours;
}

void AccountDomain::setLogonHours(std::uint32_t rid, const LogonHours& hours) {
    Scratch scratch(impl_->mem);
    Impl::UserHandle user(*impl_, rid, scratch);
    // The IDL sizes the array at 1260 bytes (one bit per minute) and sends units_per_week / 8.
    Bytes bits(1260, 0);
    std::copy_n(hours.bits.begin(), std::min(hours.bits.size(), bits.size()), bits.begin());
    samr_UserInfo info{};
    info.info4.logon_hours.units_per_week = hours.unitsPerWeek;
    info.info4.logon_hours.bits = bits.data();
    samr_SetUserInfo request{};
    request.in.user_handle = user.get();
    request.in.level = UserLogonHoursInformation;
    request.in.info = &info;
    impl_->call(NDR_SAMR_SETUSERINFO, request, scratch, "writing the logon hours");
}

}  // namespace qm::samr
