#pragma once
// An in-memory Windows for the cleaner: a registry with NT deletion semantics (a key
// with subkeys is not deleted), files with a read-only flag, an attribute tool that
// clears it, and a user who answers the question as told.

#include <algorithm>
#include <cctype>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "cleaner/cleaner_system.h"

namespace vx::testing {

inline std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

struct StartedProgram {
    std::string program;
    std::string commandLine;
    bool wait;
    bool operator==(const StartedProgram&) const = default;
    friend void PrintTo(const StartedProgram& p, std::ostream* os) {
        *os << "{" << p.program << " | " << p.commandLine << " | " << (p.wait ? "wait" : "no wait")
            << "}";
    }
};

class FakeWindows : public Registry, public FileSystem, public ProgramStarter, public Confirmation {
  public:
    // Registry (names compare without case, as on Windows).
    std::map<std::string, std::map<std::string, std::string>> keys;  // lower-case path -> values
    void AddKey(const std::string& path, std::map<std::string, std::string> values = {}) {
        keys[Lower(path)] = std::move(values);
    }
    bool HasKey(const std::string& path) const { return keys.count(Lower(path)) != 0; }

    std::unique_ptr<RegistryKey> OpenForQuery(const std::string& path) override {
        auto it = keys.find(Lower(path));
        if (it == keys.end())
            return nullptr;
        return std::make_unique<Key>(it->second);
    }
    void DeleteKey(const std::string& path) override {
        const std::string lower = Lower(path);
        deleteRequests.push_back(path);
        for (const auto& [other, values] : keys) {
            if (other.size() > lower.size() && other.compare(0, lower.size(), lower) == 0 &&
                other[lower.size()] == '\\') {
                return;  // has subkeys: refused
            }
        }
        keys.erase(lower);
    }

    // Files.
    std::string windowsDirectory = "C:\\windows";
    std::map<std::string, bool> files;  // lower-case path -> read-only
    std::vector<std::string> removeRequests;
    void AddFile(const std::string& path, bool readOnly = false) { files[Lower(path)] = readOnly; }
    bool HasFile(const std::string& path) const { return files.count(Lower(path)) != 0; }

    std::optional<std::string> WindowsDirectory(std::size_t capacity) override {
        if (windowsDirectory.size() + 1 > capacity)
            return std::nullopt;
        return windowsDirectory;
    }
    void RemoveFile(const std::string& path) override {
        removeRequests.push_back(path);
        auto it = files.find(Lower(path));
        if (it != files.end() && !it->second)
            files.erase(it);
    }

    // Programs: the attribute tool really clears the flag of the file it is given.
    std::vector<StartedProgram> started;
    void Start(const std::string& program, const std::string& commandLine, bool wait) override {
        started.push_back({program, commandLine, wait});
        const std::string prefix = program + " -r ";
        if (Lower(program).ends_with("\\system32\\attrib.exe") && commandLine.starts_with(prefix)) {
            auto it = files.find(Lower(commandLine.substr(prefix.size())));
            if (it != files.end())
                it->second = false;
        }
    }

    // The user.
    bool answerYes = true;
    std::vector<std::string> questions;
    bool AskYesNo(const std::string& question) override {
        questions.push_back(question);
        return answerYes;
    }

    std::vector<std::string> deleteRequests;
    CleanerSystem System() { return {*this, *this, *this, *this}; }

  private:
    class Key : public RegistryKey {
      public:
        explicit Key(const std::map<std::string, std::string>& values) : values_(values) {}
        std::optional<std::string> ReadString(const std::string& name,
                                              std::size_t capacity) override {
            auto it = values_.find(name);
            if (it == values_.end() || it->second.size() + 1 > capacity)
                return std::nullopt;
            return it->second;
        }

      private:
        const std::map<std::string, std::string>& values_;
    };
};

}  // namespace vx::testing
