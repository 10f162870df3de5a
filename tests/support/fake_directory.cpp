#include "support/fake_directory.h"

#include <algorithm>
#include <cctype>
#include <regex>
#include <stdexcept>

namespace qm::testing {

namespace {

std::string lower(std::string text) {
    std::ranges::transform(text, text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool hasClass(const FakeObject& object, const std::string& name) {
    return std::ranges::any_of(object.classes, [&](auto& c) { return lower(c) == lower(name); });
}

// The query filter the program sends: a conjunction of (objectCategory=…) and (objectClass=…).
bool matchesFilter(const FakeObject& object, const std::string& filter) {
    static const std::regex term(R"(\((objectCategory|objectClass)=([^()]*)\))");
    for (std::sregex_iterator it(filter.begin(), filter.end(), term), end; it != end; ++it) {
        if ((*it)[1] == "objectClass" ? !hasClass(object, (*it)[2])
                                      : lower(object.category) != lower((*it)[2])) {
            return false;
        }
    }
    return true;
}

Variant propertyOf(const FakeObject& object, const std::string& name) {
    const auto found = object.properties.find(lower(name));
    return found == object.properties.end() ? Variant::null() : found->second;
}

class BoundObject : public DirectoryObject {
public:
    BoundObject(FakeDirectory& directory, FakeObject& object)
        : directory_(directory), object_(object) {}

    std::string ADsPath() const override { return object_.path; }
    std::string Name() const override { return object_.name; }
    Variant Get(const std::string& property) override { return propertyOf(object_, property); }
    void setFilter(const std::vector<std::string>& classNames) override { filter_ = classNames; }

    std::vector<std::unique_ptr<DirectoryObject>> children() override {
        directory_.record("children", object_.path);
        std::vector<std::unique_ptr<DirectoryObject>> result;
        for (FakeObject* child : directory_.childrenOf(object_)) {
            if (filter_.empty() ||
                std::ranges::any_of(filter_, [&](auto& c) { return hasClass(*child, c); })) {
                result.push_back(std::make_unique<BoundObject>(directory_, *child));
            }
        }
        return result;
    }

    void Put(const std::string& property, const Variant& value) override {
        directory_.record("Put", object_.path);
        staged_[lower(property)] = value;
    }

    void SetInfo() override {
        directory_.record("SetInfo", object_.path);
        for (auto& [property, value] : staged_) {
            object_.properties[property] = value;
        }
        staged_.clear();
    }

private:
    FakeDirectory& directory_;
    FakeObject& object_;
    std::vector<std::string> filter_;
    std::map<std::string, Variant> staged_;
};

class FakeRecordset : public Recordset {
public:
    explicit FakeRecordset(FakeDirectory& directory) : directory_(directory) {}

    void setSource(const std::string& source) override { source_ = source; }
    // "<LDAP://base>;filter;attributes;oneLevel"
    void Open() override {
        const std::size_t close = source_.find('>');
        const std::string base = source_.substr(1, close - 1);
        directory_.record("query", base);
        FakeObject* object = directory_.find(base);
        if (object == nullptr) {
            throw noSuchObject();
        }
        const std::string filter = source_.substr(close + 2);
        rows_.clear();
        for (const FakeObject* child : directory_.childrenOf(*object)) {
            if (matchesFilter(*child, filter.substr(0, filter.find(';')))) {
                rows_.push_back(child);
            }
        }
        position_ = 0;
    }
    std::int32_t RecordCount() override { return static_cast<std::int32_t>(rows_.size()); }
    bool Eof() override { return position_ >= rows_.size(); }
    Variant Fields(const std::string& name) override {
        return propertyOf(*rows_.at(position_), name);
    }
    void MoveNext() override { ++position_; }
    void Close() override {}

private:
    FakeDirectory& directory_;
    std::string source_;
    std::vector<const FakeObject*> rows_;
    std::size_t position_ = 0;
};

class FakeConnection : public Connection {
public:
    explicit FakeConnection(FakeDirectory& directory) : directory_(directory) {}
    void Open(const std::string&, const std::string&, const std::string&) override { state_ = 1; }
    int State() const override { return state_; }
    void Close() override {
        directory_.calls.push_back("close connection");
        state_ = 0;
    }
    std::unique_ptr<Recordset> newRecordset() override {
        return std::make_unique<FakeRecordset>(directory_);
    }

private:
    FakeDirectory& directory_;
    int state_ = 0;
};

}  // namespace

RunTimeError noSuchObject() {
    return RunTimeError(-2147016656, "There is no such object on the server.", "Active Directory");
}

FakeObject& FakeDirectory::add(const std::string& path, const std::string& name,
                               const std::string& parent, std::vector<std::string> classes) {
    if (!parent.empty() && find(parent) == nullptr) {
        throw std::logic_error("fake directory: no parent " + parent);
    }
    const std::string category = classes.back();
    return objects_.emplace_back(path, name, parent, std::move(classes), category);
}

FakeObject& FakeDirectory::addObject(const std::string& parentDn, const std::string& rdn,
                                     std::vector<std::string> classes,
                                     const std::string& category) {
    const std::string dn = parentDn.empty() ? rdn : rdn + "," + parentDn;
    FakeObject& object = add("LDAP://" + dn, rdn.substr(0, rdn.find(',')),
                             parentDn.empty() ? "" : "LDAP://" + parentDn, std::move(classes));
    object.category = category;
    object.properties["distinguishedname"] = dn;
    return object;
}

FakeObject& FakeDirectory::addDomain(const std::string& dn, const std::string& parentDn) {
    const std::string rdn = parentDn.empty() ? dn : dn.substr(0, dn.find(','));
    return addObject(parentDn, rdn, {"domain", "domainDNS"}, "domain-DNS");
}

FakeObject& FakeDirectory::addContainer(const std::string& parentDn, const std::string& rdn,
                                        const std::string& objectClass) {
    const std::string type = lower(rdn).starts_with("ou=") ? "organizationalUnit" : objectClass;
    return addObject(parentDn, rdn, {type}, type);
}

FakeObject& FakeDirectory::addUser(const std::string& parentDn, const std::string& cn,
                                   const std::string& samAccountName,
                                   std::optional<Bytes> logonHours) {
    FakeObject& user = addObject(parentDn, "CN=" + cn, {"person", "user"}, "person");
    user.properties["cn"] = cn;
    user.properties["samaccountname"] = samAccountName.empty() ? cn : samAccountName;
    if (logonHours) {
        user.properties["logonhours"] = *logonHours;
    }
    return user;
}

FakeObject& FakeDirectory::addComputer(const std::string& name) {
    return add("WinNT://" + name, name, "", {"Computer"});
}

FakeObject& FakeDirectory::addLocalUser(const std::string& computer, const std::string& name,
                                        std::optional<Bytes> loginHours,
                                        const std::string& objectClass) {
    FakeObject& user =
        add("WinNT://" + computer + "/" + name, name, "WinNT://" + computer, {objectClass});
    if (loginHours) {
        user.properties["loginhours"] = *loginHours;
    }
    return user;
}

void FakeDirectory::fail(const std::string& operation, const std::string& path,
                         RunTimeError error) {
    failures_.insert_or_assign(lower(operation + " " + path), std::move(error));
}

void FakeDirectory::record(const std::string& operation, const std::string& path) {
    calls.push_back(operation + " " + path);
    const auto planted = failures_.find(lower(calls.back()));
    if (planted != failures_.end()) {
        throw planted->second;
    }
}

FakeObject* FakeDirectory::find(const std::string& path) {
    const std::string wanted =
        lower(path.starts_with("WinNT://") ? path.substr(0, path.find(',')) : path);
    const auto found =
        std::ranges::find_if(objects_, [&](auto& o) { return lower(o.path) == wanted; });
    return found == objects_.end() ? nullptr : &*found;
}

std::vector<FakeObject*> FakeDirectory::childrenOf(const FakeObject& parent) {
    std::vector<FakeObject*> children;
    for (FakeObject& object : objects_) {
        if (lower(object.parent) == lower(parent.path)) {
            children.push_back(&object);
        }
    }
    return children;
}

std::unique_ptr<DirectoryObject> FakeDirectory::bind(const std::string& path) {
    record("bind", path);
    if (lower(path) == "ldap://rootdse" && rootDomain_) {
        rootDse_.properties["rootdomainnamingcontext"] = *rootDomain_;
        return std::make_unique<BoundObject>(*this, rootDse_);
    }
    FakeObject* object = find(path);
    if (object == nullptr) {
        throw noSuchObject();
    }
    return std::make_unique<BoundObject>(*this, *object);
}

std::unique_ptr<Connection> FakeDirectory::newConnection() {
    return std::make_unique<FakeConnection>(*this);
}

}  // namespace qm::testing
