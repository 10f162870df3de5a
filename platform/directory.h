#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/variant.h"

namespace qm {

// The directory services the program drives: the LDAP provider (domains, containers, users), the
// WinNT provider (a computer's local accounts) and the query connection. Every failure is raised as
// a RunTimeError with a number, a description an administrator can act on, and a source.

// One object bound by path: the RootDSE, a domain, container or user ("LDAP://…"), a computer or
// one of its local users ("WinNT://…").
class DirectoryObject {
public:
    virtual ~DirectoryObject() = default;

    // A path that binds this object again; unique per object, so it serves as a tree node's Key.
    virtual std::string ADsPath() const = 0;
    // The relative name ("OU=Sales", "CN=Users"); for a computer or a local user, its name.
    virtual std::string Name() const = 0;

    // A property of the object as bound: "rootDomainNamingContext" of the RootDSE, "logonHours" of
    // an LDAP user, "LoginHours" of a WinNT user (names compare without regard to case). Null when
    // the object has no such value. A logon-hours value comes back with the length it has.
    virtual Variant Get(const std::string& property) = 0;

    // Restricts children() to the given object classes ("container", "organizationalUnit",
    // "builtinDomain"; "domain"; "user").
    virtual void setFilter(const std::vector<std::string>& classNames) = 0;
    // The children of the filtered classes, in the order the directory returns them.
    virtual std::vector<std::unique_ptr<DirectoryObject>> children() = 0;

    // Stages a new value ("logonHours" for LDAP, "loginHours" for WinNT: exactly 21 bytes);
    // SetInfo saves what was staged.
    virtual void Put(const std::string& property, const Variant& value) = 0;
    virtual void SetInfo() = 0;
};

// A one-level query through the connection: Source is "<LDAP://base>;filter;attributes;oneLevel".
// Searches are paged, so a container of any size comes back whole.
class Recordset {
public:
    virtual ~Recordset() = default;
    virtual void setSource(const std::string& source) = 0;
    virtual void Open() = 0;
    virtual std::int32_t RecordCount() = 0;
    virtual bool Eof() = 0;
    // A field of the current record: Text, Bytes (logonHours) or Null when the entry lacks it.
    virtual Variant Fields(const std::string& name) = 0;
    virtual void MoveNext() = 0;
    virtual void Close() = 0;
};

// The query connection of provider "ADsDSOObject".
class Connection {
public:
    virtual ~Connection() = default;
    virtual void Open(const std::string& connectionText, const std::string& user,
                      const std::string& password) = 0;
    // 1 while open, 0 when closed.
    virtual int State() const = 0;
    virtual void Close() = 0;
    // A new recordset whose active connection is this one.
    virtual std::unique_ptr<Recordset> newRecordset() = 0;
};

class DirectoryServices {
public:
    virtual ~DirectoryServices() = default;
    // "LDAP://RootDSE", "LDAP://" + DN, "WinNT://" + computer + ",computer",
    // "WinNT://" + computer + "/" + user + ",user".
    virtual std::unique_ptr<DirectoryObject> bind(const std::string& path) = 0;
    virtual std::unique_ptr<Connection> newConnection() = 0;
};

}  // namespace qm
