// The WinNT provider against the sandbox's computers, the way the Document and Set runs use it:
// binding a computer and listing its users, reading every user's logon hours, binding one account
// and saving new hours. Samba's own tools doing the same work in the same run are the baselines:
// "net rpc user" (connect and list the users over SAMR) and a paged ldapsearch of the domain's
// logonHours. Run on demand inside the sandbox:
//   scripts/sandbox exec -- build-NAME/bench/winnt_bench [rounds]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/run_time_error.h"
#include "platform/winnt_provider.h"

extern char** environ;

namespace {

using namespace qm;
using Clock = std::chrono::steady_clock;

std::map<std::string, std::string> readFacts() {
    const char* dir = std::getenv("QUILLMARK_SANDBOX_DIR");
    std::ifstream file(std::string(dir != nullptr ? dir : QM_SOURCE_DIR "/.sandbox") +
                       "/facts.env");
    std::map<std::string, std::string> facts;
    for (std::string line; std::getline(file, line);) {
        const auto equals = line.find('=');
        if (equals == std::string::npos || line[0] == '#') {
            continue;
        }
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '\'') {
            value = value.substr(1, value.size() - 2);
        }
        facts[line.substr(0, equals)] = value;
    }
    return facts;
}

// Answers the sign-in boxes with the sandbox's administrator.
class SignIn : public Dialogs {
public:
    explicit SignIn(std::string password) : password_(std::move(password)) {}
    Answer messageBox(const std::string&, const std::string&, MessageStyle) override {
        return Answer::Ok;
    }
    std::string inputBox(const std::string&, const std::string&, bool masked) override {
        return masked ? password_ : "Administrator";
    }
    std::string browseForFolder(const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> openFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        return {};
    }

private:
    std::string password_;
};

double milliseconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double medianOf(int rounds, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        times.push_back(milliseconds(work));
    }
    return median(times);
}

// Wall time of a whole program run: ours and the baseline both pay process start-up.
double runMilliseconds(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    // The child starts clean: Samba's libraries leave descriptors open and the provider ignores
    // SIGPIPE, which another Samba program does not expect.
    posix_spawn_file_actions_addclosefrom_np(&quiet, 3);
    posix_spawnattr_t clean;
    posix_spawnattr_init(&clean);
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&clean, &all);
    posix_spawnattr_setsigmask(&clean, &none);
    posix_spawnattr_setflags(&clean, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const auto start = Clock::now();
    pid_t child = 0;
    int status = 1;
    if (posix_spawnp(&child, argv[0], &quiet, &clean, argv.data(), environ) != 0 ||
        waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", command[0].c_str());
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&quiet);
    posix_spawnattr_destroy(&clean);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::size_t listUsers(const std::string& computer, Credentials& credentials, bool readHours) {
    auto object = bindWinNt("WinNT://" + computer + ",computer", credentials);
    object->setFilter({"user"});
    auto users = object->children();
    if (readHours) {
        for (const auto& user : users) {
            try {
                user->Get("LoginHours");
            } catch (const RunTimeError&) {
                // hours of another length, which the Document run reports; still a round trip
            }
        }
    }
    return users.size();
}

void measureComputer(int rounds, Credentials& credentials, const std::string& self,
                     const std::string& password) {
    listUsers("PC01", credentials, false);  // warm up: settings file, first sign-in
    const double bind = medianOf(rounds, [&] { bindWinNt("WinNT://PC01,computer", credentials); });
    std::size_t users = 0;
    const double list = medianOf(rounds, [&] { users = listUsers("PC01", credentials, true); });
    std::vector<double> ours;
    std::vector<double> net;
    for (int i = 0; i < rounds; ++i) {
        ours.push_back(runMilliseconds({self, "--list", "PC01"}));
        net.push_back(runMilliseconds({"net", "rpc", "user", "-S", "pc01", "--use-kerberos=off",
                                       "-U", "Administrator%" + password}));
    }
    std::printf("  bind PC01 (connect, sign in, open its accounts)   %8.1f ms\n", bind);
    std::printf("  bind PC01 and list its %zu users with logon hours %8.1f ms\n", users, list);
    std::printf(
        "  a program run listing PC01's users: ours %.1f ms, net rpc user %.1f ms, "
        "ratio %.2f\n",
        median(ours), median(net), median(ours) / median(net));
}

void measureDomainController(Credentials& credentials,
                             const std::map<std::string, std::string>& facts) {
    std::size_t users = 0;
    const double samr = medianOf(3, [&] { users = listUsers("DC1", credentials, true); });
    const double ldap = medianOf(3, [&] {
        runMilliseconds({"sh", "-c",
                         "ldapsearch -x -ZZ -LLL -H ldap://" + facts.at("CORP_DC") +
                             " -D Administrator@" + facts.at("CORP_DOMAIN") + " -y '" +
                             facts.at("SANDBOX_PASSWORD_FILE") + "' -E pr=1000/noprompt -b '" +
                             facts.at("CORP_DN") +
                             "' '(&(objectCategory=person)(objectClass=user))' logonHours "
                             "sAMAccountName"});
    });
    std::printf(
        "  DC1: %zu users with logon hours over SAMR %.1f ms (%.2f ms a user), "
        "ldapsearch of the same %.1f ms, ratio %.2f\n",
        users, samr, samr / double(users), ldap, samr / ldap);
}

void measureSet(int rounds, Credentials& credentials) {
    auto user = bindWinNt("WinNT://PC01/lab1,user", credentials);
    const Bytes original = user->Get("LoginHours").bytes();
    const double bind = medianOf(rounds, [&] { bindWinNt("WinNT://PC01/lab1,user", credentials); });
    Bytes hours(21, 0);
    const double save = medianOf(rounds, [&] {
        hours[0] ^= 0xFF;
        user->Put("loginHours", hours);
        user->SetInfo();
    });
    user->Put("loginHours", original);
    user->SetInfo();
    std::printf("  bind PC01/lab1 (connect, look up, read hours)     %8.1f ms\n", bind);
    std::printf(
        "  Put and SetInfo of lab1's hours                   %8.1f ms, ratio to a bind "
        "%.2f\n",
        save, save / bind);
}

// Each part reports its own failure, so one server that fails does not hide the others' figures.
void measure(const char* part, const std::function<void()>& work) {
    try {
        work();
    } catch (const RunTimeError& error) {
        std::printf("  %s failed: %d %s\n", part, error.number(), error.description().c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    const auto facts = readFacts();
    std::ifstream passwordFile(facts.at("SANDBOX_PASSWORD_FILE"));
    std::string password;
    std::getline(passwordFile, password);
    setenv("KRB5CCNAME", "FILE:/nonexistent/no-ticket", 1);  // sign in by password, as measured
    SignIn dialogs(password);
    Credentials credentials(dialogs);

    if (argc == 3 && std::string(argv[1]) == "--list") {  // one program run of the comparison
        listUsers(argv[2], credentials, false);
        return 0;
    }
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 11;
    std::printf("WinNT provider, medians of %d rounds (sign-in by password)\n", rounds);
    measure("PC01", [&] { measureComputer(rounds, credentials, argv[0], password); });
    measure("DC1", [&] { measureDomainController(credentials, facts); });
    measure("Set on PC01", [&] { measureSet(rounds, credentials); });
    return 0;
}
