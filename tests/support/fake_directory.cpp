#include "support/fake_directory.h"

#include <algorithm>
#include <cctype>
#include <functional>

namespace qm::testing {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// DNs compare without regard to case or to spaces around "," and "=".
std::string normalizedDn(const std::string& dn) {
    std::string result;
    for (std::size_t i = 0; i < dn.size(); ++i) {
        const char c = dn[i];
        const bool besideSeparator = (i > 0 && (dn[i - 1] == ',' || dn[i - 1] == '=')) ||
                                     (i + 1 < dn.size() && (dn[i + 1] == ',' || dn[i + 1] == '='));
        if (c == ' ' && besideSeparator) {
            continue;
        }
        result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return lower(text.substr(0, prefix.size())) == lower(prefix);
}

void forEachObject(const std::vector<std::unique_ptr<FakeObject>>& objects,
                   const std::function<bool(FakeObject&)>& visit) {
    std::function<bool(FakeObject&)> walk = [&](FakeObject& object) {
        if (visit(object)) {
            return true;
        }
        for (auto& child : object.children) {
            if (walk(*child)) {
                return true;
            }
        }
        return false;
    };
    for (const auto& object : objects) {
        if (walk(*object)) {
            return;
        }
    }
}

// --- a tiny LDAP filter: (&...), (|...), (!...), (attr=value), (attr=*) -------------------------

class FilterMatcher {
public:
    FilterMatcher(const std::string& filter, const FakeObject& object)
        : filter_(filter), object_(object) {}

    bool matches() {
        position_ = 0;
        return term();
    }

private:
    bool term() {
        expect('(');
        bool result;
        const char op = filter_.at(position_);
        if (op == '&' || op == '|') {
            ++position_;
            result = op == '&';
            while (filter_.at(position_) == '(') {
                const bool value = term();
                result = op == '&' ? result && value : result || value;
            }
        } else if (op == '!') {
            ++position_;
            result = !term();
        } else {
            result = comparison();
        }
        expect(')');
        return result;
    }

    bool comparison() {
        const std::size_t close = filter_.find(')', position_);
        const std::string item = filter_.substr(position_, close - position_);
        position_ = close;
        const std::size_t equals = item.find('=');
        const std::string attribute = lower(item.substr(0, equals));
        const std::string value = lower(item.substr(equals + 1));
        if (attribute == "objectclass") {
            return value == "*" ||
                   std::any_of(object_.objectClass.begin(), object_.objectClass.end(),
                               [&](const std::string& c) { return lower(c) == value; });
        }
        if (attribute == "objectcategory") {
            return value == "*" || lower(object_.objectCategory) == value;
        }
        const auto found = object_.properties.find(attribute);
        if (found == object_.properties.end() || found->second.isNull()) {
            return false;
        }
        return value == "*" || (found->second.type() != Variant::Type::Bytes &&
                                lower(found->second.toText()) == value);
    }

    void expect(char c) {
        if (filter_.at(position_) != c) {
            throw RunTimeError(-2147217900, "Unspecified error: bad search filter " + filter_,
                               "Provider");
        }
        ++position_;
    }

    const std::string& filter_;
    const FakeObject& object_;
    std::size_t position_ = 0;
};

// --- bound objects ----------------------------------------------------------------------------

class FakeBoundObject : public DirectoryObject {
public:
    FakeBoundObject(FakeDirectory& directory, FakeObject& object)
        : directory_(directory), object_(object) {}

    std::string ADsPath() const override { return object_.path; }
    std::string Name() const override { return object_.name; }

    Variant Get(const std::string& property) override {
        const auto found = object_.properties.find(lower(property));
        return found == object_.properties.end() ? Variant::null() : found->second;
    }

    void setFilter(const std::vector<std::string>& classNames) override { filter_ = classNames; }

    std::vector<std::unique_ptr<DirectoryObject>> children() override {
        std::string classes;
        for (const auto& name : filter_) {
            classes += (classes.empty() ? "" : ",") + name;
        }
        directory_.calls.push_back("children " + object_.path + " [" + classes + "]");
        if (auto failure = directory_.plantedFailure("children", object_.path)) {
            throw *failure;
        }
        std::vector<std::unique_ptr<DirectoryObject>> result;
        for (auto& child : object_.children) {
            if (passesFilter(*child)) {
                result.push_back(std::make_unique<FakeBoundObject>(directory_, *child));
            }
        }
        return result;
    }

    void Put(const std::string& property, const Variant& value) override {
        directory_.calls.push_back("Put " + object_.path + " " + property);
        if (auto failure = directory_.plantedFailure("put", object_.path)) {
            throw *failure;
        }
        staged_[lower(property)] = value;
    }

    void SetInfo() override {
        directory_.calls.push_back("SetInfo " + object_.path);
        if (auto failure = directory_.plantedFailure("setinfo", object_.path)) {
            throw *failure;
        }
        for (auto& [property, value] : staged_) {
            object_.properties[property] = value;
        }
        staged_.clear();
    }

private:
    // As the LDAP provider's filter does, any of the object's classes matches.
    bool passesFilter(const FakeObject& child) const {
        return filter_.empty() ||
               std::any_of(filter_.begin(), filter_.end(), [&](const std::string& name) {
                   return std::any_of(
                       child.objectClass.begin(), child.objectClass.end(),
                       [&](const std::string& c) { return lower(c) == lower(name); });
               });
    }

    FakeDirectory& directory_;
    FakeObject& object_;
    std::vector<std::string> filter_;
    std::map<std::string, Variant> staged_;
};

// --- the query connection ---------------------------------------------------------------------

class FakeConnection;

class FakeRecordset : public Recordset {
public:
    FakeRecordset(FakeDirectory& directory, FakeConnection& connection)
        : directory_(directory), connection_(connection) {}

    void setSource(const std::string& source) override { source_ = source; }
    void Open() override;
    std::int32_t RecordCount() override {
        requireOpen();
        return static_cast<std::int32_t>(rows_.size());
    }
    bool Eof() override {
        requireOpen();
        return position_ >= rows_.size();
    }
    Variant Fields(const std::string& name) override {
        if (Eof()) {
            throw RunTimeError(3021,
                               "Either BOF or EOF is True, or the current record has been "
                               "deleted. Requested operation requires a current record.",
                               "ADODB.Field");
        }
        const FakeObject& row = *rows_[position_];
        const std::string field = lower(name);
        if (field == "distinguishedname") {
            return row.dn;
        }
        if (field == "adspath") {
            return row.path;
        }
        const auto found = row.properties.find(field);
        return found == row.properties.end() ? Variant::null() : found->second;
    }
    void MoveNext() override {
        if (Eof()) {
            throw RunTimeError(3021, "Either BOF or EOF is True.", "ADODB.Recordset");
        }
        ++position_;
    }
    void Close() override { open_ = false; }

private:
    void requireOpen() const {
        if (!open_) {
            throw RunTimeError(3704, "Operation is not allowed when the object is closed.",
                               "ADODB.Recordset");
        }
    }

    FakeDirectory& directory_;
    FakeConnection& connection_;
    std::string source_;
    std::vector<const FakeObject*> rows_;
    std::size_t position_ = 0;
    bool open_ = false;
};

class FakeConnection : public Connection {
public:
    explicit FakeConnection(FakeDirectory& directory) : directory_(directory) {}
    ~FakeConnection() override { directory_.forgetConnection(this); }

    void Open(const std::string& connectionText, const std::string& user,
              const std::string& password) override {
        directory_.calls.push_back("open connection " + connectionText + " user=" + user +
                                   " password=" + password);
        if (auto failure = directory_.plantedFailure("open", "")) {
            throw *failure;
        }
        state_ = 1;
    }
    int State() const override { return state_; }
    void Close() override {
        directory_.calls.push_back("close connection");
        state_ = 0;
    }
    std::unique_ptr<Recordset> newRecordset() override {
        return std::make_unique<FakeRecordset>(directory_, *this);
    }

private:
    FakeDirectory& directory_;
    int state_ = 0;
};

void FakeRecordset::Open() {
    directory_.calls.push_back("query " + source_);
    if (connection_.State() != 1) {
        throw RunTimeError(3709,
                           "The connection cannot be used to perform this operation. It is "
                           "either closed or invalid in this context.",
                           "ADODB.Recordset");
    }
    // "<LDAP://base>;filter;attributes;scope"
    const std::size_t close = source_.find('>');
    if (source_.empty() || source_[0] != '<' || close == std::string::npos) {
        throw RunTimeError(-2147217900, "Unspecified error: bad command text " + source_,
                           "Provider");
    }
    const std::string base = source_.substr(1, close - 1);
    std::vector<std::string> parts;
    std::size_t start = close + 2;
    while (start <= source_.size()) {
        const std::size_t end = std::min(source_.find(';', start), source_.size());
        parts.push_back(source_.substr(start, end - start));
        start = end + 1;
    }
    const std::string filter = parts.empty() ? "(objectClass=*)" : parts[0];
    const std::string scope = parts.size() >= 3 ? lower(parts[2]) : "subtree";

    if (auto failure = directory_.plantedFailure("query", base)) {
        throw *failure;
    }
    FakeObject* baseObject = directory_.find(base);
    if (baseObject == nullptr) {
        throw noSuchObject();
    }
    rows_.clear();
    std::function<void(const FakeObject&, bool)> collect = [&](const FakeObject& object,
                                                               bool deep) {
        for (const auto& child : object.children) {
            if (FilterMatcher(filter, *child).matches()) {
                rows_.push_back(child.get());
            }
            if (deep) {
                collect(*child, true);
            }
        }
    };
    if (scope == "base") {
        if (FilterMatcher(filter, *baseObject).matches()) {
            rows_.push_back(baseObject);
        }
    } else {
        collect(*baseObject, scope != "onelevel");
    }
    position_ = 0;
    open_ = true;
}

}  // namespace

RunTimeError noSuchObject() {
    return RunTimeError(-2147016656, "There is no such object on the server.", "Active Directory");
}

RunTimeError networkPathNotFound() {
    return RunTimeError(-2147024843, "The network path was not found.", "Active Directory");
}

RunTimeError domainNotContacted() {
    return RunTimeError(-2147023541,
                        "The specified domain either does not exist or could not be contacted.",
                        "Active Directory");
}

FakeDirectory::FakeDirectory() = default;
FakeDirectory::~FakeDirectory() = default;

FakeObject& FakeDirectory::addDomain(const std::string& dn, const std::string& parentDn) {
    if (!parentDn.empty()) {
        return addBelow(parentDn, dn.substr(0, dn.find(',')), {"top", "domain", "domainDNS"},
                        "domain-DNS");
    }
    auto domain = std::make_unique<FakeObject>();
    domain->dn = dn;
    domain->path = "LDAP://" + dn;
    domain->name = dn.substr(0, dn.find(','));
    domain->objectClass = {"top", "domain", "domainDNS"};
    domain->objectCategory = "domain-DNS";
    domain->properties["distinguishedname"] = dn;
    roots_.push_back(std::move(domain));
    return *roots_.back();
}

FakeObject& FakeDirectory::addContainer(const std::string& parentDn, const std::string& rdn,
                                        const std::string& objectClass) {
    std::string className = objectClass;
    if (className.empty()) {
        className = startsWith(rdn, "OU=") ? "organizationalUnit" : "container";
    }
    return addBelow(parentDn, rdn, {"top", className}, className);
}

FakeObject& FakeDirectory::addUser(const std::string& parentDn, const std::string& cn,
                                   const std::string& samAccountName,
                                   std::optional<Bytes> logonHours) {
    FakeObject& user =
        addBelow(parentDn, "CN=" + cn, {"top", "person", "organizationalPerson", "user"}, "person");
    user.properties["cn"] = cn;
    user.properties["samaccountname"] = samAccountName.empty() ? cn : samAccountName;
    if (logonHours) {
        user.properties["logonhours"] = *logonHours;
    }
    return user;
}

FakeObject& FakeDirectory::addOther(const std::string& parentDn, const std::string& rdn,
                                    const std::string& objectClass) {
    if (lower(objectClass) == "computer") {
        return addBelow(parentDn, rdn,
                        {"top", "person", "organizationalPerson", "user", "computer"}, "computer");
    }
    if (lower(objectClass) == "contact") {
        return addBelow(parentDn, rdn, {"top", "person", "organizationalPerson", "contact"},
                        "person");
    }
    return addBelow(parentDn, rdn, {"top", objectClass}, objectClass);
}

FakeObject& FakeDirectory::addBelow(const std::string& parentDn, const std::string& rdn,
                                    std::vector<std::string> objectClass,
                                    const std::string& category) {
    FakeObject* parent = findByDn(parentDn);
    if (parent == nullptr) {
        throw std::logic_error("fake directory: no parent " + parentDn);
    }
    auto object = std::make_unique<FakeObject>();
    object->dn = rdn + "," + parent->dn;
    object->path = "LDAP://" + object->dn;
    object->name = rdn;
    object->objectClass = std::move(objectClass);
    object->objectCategory = category;
    object->properties["distinguishedname"] = object->dn;
    object->parent = parent;
    parent->children.push_back(std::move(object));
    return *parent->children.back();
}

FakeObject& FakeDirectory::addComputer(const std::string& name, const std::string& workgroup) {
    auto computer = std::make_unique<FakeObject>();
    computer->path = "WinNT://" + workgroup + "/" + name;
    computer->name = name;
    computer->objectClass = {"Computer"};
    computer->objectCategory = "Computer";
    roots_.push_back(std::move(computer));
    return *roots_.back();
}

FakeObject& FakeDirectory::addLocalUser(const std::string& computer, const std::string& name,
                                        std::optional<Bytes> loginHours) {
    FakeObject* owner = findComputer(computer);
    if (owner == nullptr) {
        throw std::logic_error("fake directory: no computer " + computer);
    }
    auto user = std::make_unique<FakeObject>();
    user->path = owner->path + "/" + name;
    user->name = name;
    user->objectClass = {"User"};
    user->objectCategory = "User";
    user->parent = owner;
    if (loginHours) {
        user->properties["loginhours"] = *loginHours;
    }
    owner->children.push_back(std::move(user));
    return *owner->children.back();
}

FakeObject& FakeDirectory::addLocalGroup(const std::string& computer, const std::string& name) {
    FakeObject& group = addLocalUser(computer, name);
    group.objectClass = {"Group"};
    group.objectCategory = "Group";
    return group;
}

void FakeDirectory::failBind(const std::string& path, RunTimeError error) {
    failures_.insert_or_assign("bind " + lower(path), std::move(error));
}

void FakeDirectory::failChildren(const std::string& path, RunTimeError error) {
    failures_.insert_or_assign("children " + lower(path), std::move(error));
}

void FakeDirectory::failQuery(const std::string& basePath, RunTimeError error) {
    failures_.insert_or_assign("query " + lower(basePath), std::move(error));
}

void FakeDirectory::failPut(const std::string& path, RunTimeError error) {
    failures_.insert_or_assign("put " + lower(path), std::move(error));
}

void FakeDirectory::failSetInfo(const std::string& path, RunTimeError error) {
    failures_.insert_or_assign("setinfo " + lower(path), std::move(error));
}

void FakeDirectory::failConnectionOpen(RunTimeError error) {
    failures_.insert_or_assign("open ", std::move(error));
}

std::optional<RunTimeError> FakeDirectory::plantedFailure(const std::string& what,
                                                          const std::string& path) {
    const auto found = failures_.find(what + " " + lower(path));
    if (found == failures_.end()) {
        return std::nullopt;
    }
    return found->second;
}

FakeObject* FakeDirectory::findByDn(const std::string& dn) {
    const std::string wanted = normalizedDn(dn);
    FakeObject* result = nullptr;
    forEachObject(roots_, [&](FakeObject& object) {
        if (!object.dn.empty() && normalizedDn(object.dn) == wanted) {
            result = &object;
        }
        return result != nullptr;
    });
    return result;
}

FakeObject* FakeDirectory::findComputer(const std::string& name) {
    for (const auto& root : roots_) {
        if (root->dn.empty() && lower(root->name) == lower(name)) {
            return root.get();
        }
    }
    return nullptr;
}

FakeObject* FakeDirectory::find(const std::string& path) {
    if (startsWith(path, "LDAP://")) {
        return findByDn(path.substr(7));
    }
    if (!startsWith(path, "WinNT://")) {
        return nullptr;
    }
    // "WinNT://[workgroup/]computer[/user][,class]" or an ADsPath without the class.
    std::string rest = path.substr(8);
    rest = rest.substr(0, rest.find(','));
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= rest.size();) {
        const std::size_t end = std::min(rest.find('/', start), rest.size());
        parts.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    for (std::size_t first = 0; first < parts.size(); ++first) {
        if (FakeObject* computer = findComputer(parts[first])) {
            if (first + 1 == parts.size()) {
                return computer;
            }
            for (auto& user : computer->children) {
                if (first + 2 == parts.size() && lower(user->name) == lower(parts[first + 1])) {
                    return user.get();
                }
            }
            return nullptr;
        }
    }
    return nullptr;
}

std::unique_ptr<DirectoryObject> FakeDirectory::bind(const std::string& path) {
    calls.push_back("bind " + path);
    if (auto failure = plantedFailure("bind", path)) {
        throw *failure;
    }
    if (lower(path) == "ldap://rootdse") {
        if (!rootDomain_) {
            throw domainNotContacted();
        }
        rootDse_.path = "LDAP://RootDSE";
        rootDse_.name = "RootDSE";
        rootDse_.objectClass = {"top"};
        rootDse_.properties["rootdomainnamingcontext"] = *rootDomain_;
        return std::make_unique<FakeBoundObject>(*this, rootDse_);
    }
    FakeObject* object = find(path);
    if (object == nullptr) {
        throw startsWith(path, "WinNT://") ? networkPathNotFound() : noSuchObject();
    }
    return std::make_unique<FakeBoundObject>(*this, *object);
}

std::unique_ptr<Connection> FakeDirectory::newConnection() {
    calls.push_back("new connection");
    auto connection = std::make_unique<FakeConnection>(*this);
    lastConnection_ = connection.get();
    return connection;
}

void FakeDirectory::forgetConnection(Connection* connection) {
    if (lastConnection_ == connection) {
        lastConnection_ = nullptr;
    }
}

}  // namespace qm::testing
