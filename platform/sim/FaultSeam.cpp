#include "platform/sim/FaultSeam.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

using Kind = SimFaultKind;

class FaultyFile : public File {
public:
    // `path` is the file's path on the machine, the subject of its calls; `host` its path on
    // the host, for what a kill would lose of it ("" for none).
    FaultyFile(FaultSeam& seam, std::unique_ptr<File> file, String path,
               const std::string& host = "")
        : m_seam(seam), m_file(std::move(file)), m_path(std::move(path)) {
        struct stat info {};
        m_known = !host.empty() && ::stat(host.c_str(), &info) == 0;
        m_device = info.st_dev;
        m_inode = info.st_ino;
    }

    Win32Error read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead) override {
        bytesRead = 0;
        return m_seam.guard(Kind::Read, m_path,
                            [&] { return m_file->read(buffer, count, bytesRead); });
    }
    // A write fault is what a full disk looks like.
    Win32Error write(const void* buffer, std::uint32_t count) override {
        if (m_known && !m_dirty) {
            std::uint64_t flushed = 0;
            m_file->length(flushed);
            m_seam.Unflushed(m_device, m_inode, flushed);
            m_dirty = true;
        }
        return m_seam.guard(Kind::Write, m_path, [&] { return m_file->write(buffer, count); });
    }
    Win32Error seek(std::int64_t offset, SeekOrigin origin) override {
        return m_seam.guard(Kind::Seek, m_path, [&] { return m_file->seek(offset, origin); });
    }
    Win32Error length(std::uint64_t& bytes) override { return m_file->length(bytes); }
    // A flush that fails is a write that never reached the disk.
    Win32Error flush() override {
        Win32Error error = m_seam.guard(Kind::Write, m_path, [&] { return m_file->flush(); });
        if (error == WIN_OK && m_dirty) {
            m_seam.Flushed(m_device, m_inode);
            m_dirty = false;
        }
        return error;
    }

private:
    FaultSeam& m_seam;
    std::unique_ptr<File> m_file;
    String m_path;
    bool m_known = false;
    bool m_dirty = false;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
};

// The file system's own open file, lent to a FaultyFile that must not close it.
class LentFile : public File {
public:
    explicit LentFile(File& file) : m_file(file) {}
    Win32Error read(void* buffer, std::uint32_t count, std::uint32_t& bytesRead) override {
        return m_file.read(buffer, count, bytesRead);
    }
    Win32Error write(const void* buffer, std::uint32_t count) override {
        return m_file.write(buffer, count);
    }
    Win32Error seek(std::int64_t offset, SeekOrigin origin) override {
        return m_file.seek(offset, origin);
    }
    Win32Error length(std::uint64_t& bytes) override { return m_file.length(bytes); }

private:
    File& m_file;
};

class FaultyFileSystem : public FileSystem {
public:
    FaultyFileSystem(FaultSeam& seam, FileSystem& files) : m_seam(seam), m_files(files) {}

    Win32Error open(TextRef path, FileMode mode, std::unique_ptr<File>& file) override {
        std::unique_ptr<File> opened;
        Win32Error error = m_seam.take(Kind::Open, path);
        if (error == WIN_OK && (error = m_files.open(path, mode, opened)) == WIN_OK) {
            std::string host;
            if (m_seam.HostPath(path, host) != WIN_OK) {
                host.clear();
            }
            file = std::make_unique<FaultyFile>(m_seam, std::move(opened), path.c_str(), host);
        }
        return error;
    }
    Win32Error removeFile(TextRef path) override {
        return m_seam.guard(Kind::Delete, path, [&] { return m_files.removeFile(path); });
    }
    Win32Error createDirectory(TextRef path) override {
        return m_seam.guard(Kind::Mkdir, path, [&] { return m_files.createDirectory(path); });
    }
    Win32Error createPrivateDirectory(TextRef path) override {
        return m_seam.guard(Kind::Mkdir, path,
                            [&] { return m_files.createPrivateDirectory(path); });
    }
    Win32Error removeTree(TextRef path) override {
        return m_seam.guard(Kind::Delete, path, [&] { return m_files.removeTree(path); });
    }
    Win32Error listItems(TextRef pattern, std::vector<FolderItem>& items) override {
        return m_files.listItems(pattern, items);
    }
    Win32Error shellMove(TextRef fromPattern, TextRef toFolder) override {
        return m_seam.guard(Kind::Move, fromPattern,
                            [&] { return m_files.shellMove(fromPattern, toFolder); });
    }
    Win32Error shellDelete(TextRef pattern) override {
        return m_seam.guard(Kind::Delete, pattern, [&] { return m_files.shellDelete(pattern); });
    }
    Win32Error moveFile(TextRef from, TextRef to, bool replace) override {
        return m_seam.guard(Kind::Move, from, [&] { return m_files.moveFile(from, to, replace); });
    }
    Win32Error pathInfo(TextRef path, PathInfo& info) override {
        return m_files.pathInfo(path, info);
    }
    Win32Error deleteAtRestart(TextRef path) override {
        return m_seam.guard(Kind::Restart, path, [&] { return m_files.deleteAtRestart(path); });
    }
    Win32Error modulePath(String& path) override { return m_files.modulePath(path); }
    // Opened once, so it is one open call for the seam too; its reads fail like any file's.
    Win32Error ownImage(File*& image) override {
        if (!m_imageTried) {
            m_imageTried = true;
            File* opened = nullptr;
            String self;
            m_files.modulePath(self);
            m_imageError = m_seam.take(Kind::Open, self);
            if (m_imageError == WIN_OK && (m_imageError = m_files.ownImage(opened)) == WIN_OK) {
                m_image =
                    std::make_unique<FaultyFile>(m_seam, std::make_unique<LentFile>(*opened), self);
            }
        }
        image = m_image.get();
        return m_imageError;
    }
    Win32Error systemDirectory(String& path) override { return m_files.systemDirectory(path); }
    Win32Error tempDirectory(String& path) override { return m_files.tempDirectory(path); }

private:
    FaultSeam& m_seam;
    FileSystem& m_files;
    std::unique_ptr<File> m_image;
    Win32Error m_imageError = WIN_OK;
    bool m_imageTried = false;
};

class FaultyService : public Service {
public:
    FaultyService(FaultSeam& seam, std::unique_ptr<Service> service, String name)
        : m_seam(seam), m_service(std::move(service)), m_name(std::move(name)) {}

    Win32Error start() override {
        return m_seam.guard(Kind::SvcStart, m_name, [&] { return m_service->start(); });
    }
    Win32Error control(std::uint32_t code, ServiceStatus& status) override {
        return m_seam.guard(Kind::SvcControl, m_name + "\\" + ToString(code),
                            [&] { return m_service->control(code, status); });
    }
    Win32Error remove() override {
        return m_seam.guard(Kind::SvcDelete, m_name, [&] { return m_service->remove(); });
    }
    Win32Error queryStatus(ServiceStatus& status) override {
        return m_seam.guard(Kind::SvcQuery, m_name, [&] { return m_service->queryStatus(status); });
    }
    Win32Error queryConfig(ServiceSettings& settings) override {
        return m_seam.guard(Kind::SvcQuery, m_name,
                            [&] { return m_service->queryConfig(settings); });
    }

private:
    FaultSeam& m_seam;
    std::unique_ptr<Service> m_service;
    String m_name;
};

// Opens the named service through `open` unless the seam fails the call first.
template <typename Open>
Win32Error OpenFaulted(FaultSeam& seam, Kind kind, const String& name,
                       std::unique_ptr<Service>& service, Open open) {
    std::unique_ptr<Service> opened;
    Win32Error error = seam.take(kind, name);
    if (error == WIN_OK && (error = open(opened)) == WIN_OK) {
        service = std::make_unique<FaultyService>(seam, std::move(opened), name);
    }
    return error;
}

class FaultyServiceManager : public ServiceManager {
public:
    FaultyServiceManager(FaultSeam& seam, std::unique_ptr<ServiceManager> manager)
        : m_seam(seam), m_manager(std::move(manager)) {}

    Win32Error openService(const String& name, std::uint32_t access,
                           std::unique_ptr<Service>& service) override {
        return OpenFaulted(m_seam, Kind::SvcOpen, name, service,
                           [&](std::unique_ptr<Service>& opened) {
                               return m_manager->openService(name, access, opened);
                           });
    }
    Win32Error createService(const ServiceSettings& settings,
                             std::unique_ptr<Service>& service) override {
        return OpenFaulted(m_seam, Kind::SvcCreate, settings.name, service,
                           [&](std::unique_ptr<Service>& created) {
                               return m_manager->createService(settings, created);
                           });
    }

private:
    FaultSeam& m_seam;
    std::unique_ptr<ServiceManager> m_manager;
};

class FaultyServiceControl : public ServiceControl {
public:
    FaultyServiceControl(FaultSeam& seam, ServiceControl& services)
        : m_seam(seam), m_services(services) {}

    Win32Error openManager(std::uint32_t access,
                           std::unique_ptr<ServiceManager>& manager) override {
        std::unique_ptr<ServiceManager> opened;
        Win32Error error = m_seam.take(Kind::SvcOpen, "");
        if (error == WIN_OK && (error = m_services.openManager(access, opened)) == WIN_OK) {
            manager = std::make_unique<FaultyServiceManager>(m_seam, std::move(opened));
        }
        return error;
    }

private:
    FaultSeam& m_seam;
    ServiceControl& m_services;
};

class FaultyProcesses : public Processes {
public:
    FaultyProcesses(FaultSeam& seam, Processes& processes) : m_seam(seam), m_processes(processes) {}

    Win32Error runForExitCode(const String& file, const String& parameters,
                              std::uint32_t& exitCode) override {
        exitCode = 0;
        return m_seam.guard(Kind::Exec, file,
                            [&] { return m_processes.runForExitCode(file, parameters, exitCode); });
    }
    // A command processor that cannot start: the C runtime's system() returns -1.
    int runCommand(const String& commandLine) override {
        return m_seam.take(Kind::System, commandLine) != WIN_OK
                   ? -1
                   : m_processes.runCommand(commandLine);
    }

private:
    FaultSeam& m_seam;
    Processes& m_processes;
};

// A value's subject: its key and its name, as a path below the key.
String ValuePath(TextRef key, TextRef name) {
    return String(key) + "\\" + String(name);
}

class FaultyRegistry : public Registry {
public:
    FaultyRegistry(FaultSeam& seam, Registry& registry) : m_seam(seam), m_registry(registry) {}

    Win32Error createKey(TextRef key) override {
        return m_seam.guard(Kind::RegWrite, key, [&] { return m_registry.createKey(key); });
    }
    Win32Error setValue(TextRef key, const RegistryValue& value) override {
        return m_seam.guard(Kind::RegWrite, ValuePath(key, value.name),
                            [&] { return m_registry.setValue(key, value); });
    }
    Win32Error readValues(TextRef key, std::vector<RegistryValue>& values) override {
        values.clear();
        return m_seam.guard(Kind::RegRead, key, [&] { return m_registry.readValues(key, values); });
    }
    Win32Error deleteValue(TextRef key, TextRef name) override {
        return m_seam.guard(Kind::RegDelete, ValuePath(key, name),
                            [&] { return m_registry.deleteValue(key, name); });
    }
    Win32Error deleteKey(TextRef key) override {
        return m_seam.guard(Kind::RegDelete, key, [&] { return m_registry.deleteKey(key); });
    }
    Win32Error deleteTree(TextRef key) override {
        return m_seam.guard(Kind::RegDelete, key, [&] { return m_registry.deleteTree(key); });
    }

private:
    FaultSeam& m_seam;
    Registry& m_registry;
};

}  // namespace

FaultSeam::FaultSeam(SimMachine& machine, FileSystem& files, ServiceControl& services,
                     Processes& processes, Registry& registry)
    : m_machine(machine),
      m_faults(machine.config().faults),
      m_counted(m_faults.size(), 0),
      m_calls(static_cast<std::size_t>(Kind::Count), 0),
      m_files(std::make_unique<FaultyFileSystem>(*this, files)),
      m_services(std::make_unique<FaultyServiceControl>(*this, services)),
      m_processes(std::make_unique<FaultyProcesses>(*this, processes)),
      m_registry(std::make_unique<FaultyRegistry>(*this, registry)) {}

FaultSeam::~FaultSeam() = default;

Win32Error FaultSeam::HostPath(TextRef path, std::string& host) {
    return m_machine.hostPath(std::string(path), host);
}

void FaultSeam::Unflushed(std::uint64_t device, std::uint64_t inode, std::uint64_t flushed) {
    m_unflushed.emplace(std::make_pair(device, inode), flushed);
}

void FaultSeam::Flushed(std::uint64_t device, std::uint64_t inode) {
    m_unflushed.erase(std::make_pair(device, inode));
}

// A file keeps its inode through renames, so it is found wherever the run moved it.
void FaultSeam::LoseUnflushedWrites() {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator walk(m_machine.root(), error), end;
    for (; !error && walk != end; walk.increment(error)) {
        struct stat info {};
        if (walk->is_symlink(error) || ::lstat(walk->path().c_str(), &info) != 0 ||
            !S_ISREG(info.st_mode)) {
            continue;
        }
        auto cut = m_unflushed.find(
            std::make_pair(std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)));
        if (cut != m_unflushed.end() && static_cast<std::uint64_t>(info.st_size) > cut->second) {
            ::truncate(walk->path().c_str(), static_cast<off_t>(cut->second));
        }
    }
}

Win32Error FaultSeam::take(SimFaultKind kind, std::string_view subject) {
    int call = ++m_calls[static_cast<std::size_t>(kind)];
    // Every fault that counts this call counts it, whichever of them fails it.
    std::vector<int> nth(m_faults.size(), 0);
    for (std::size_t f = 0; f < m_faults.size(); ++f) {
        const SimFault& fault = m_faults[f];
        if (fault.kind == kind && SimFaultCounts(fault, subject)) {
            nth[f] = fault.subject.empty() ? call : ++m_counted[f];
        }
    }
    for (std::size_t f = 0; f < m_faults.size(); ++f) {
        const SimFault& fault = m_faults[f];
        if (nth[f] == 0 || (nth[f] != fault.nth && !(fault.fromThenOn && nth[f] > fault.nth))) {
            continue;
        }
        std::string where = std::string(SimFaultKindName(kind)) + " call " + std::to_string(call);
        if (fault.kill) {
            m_machine.journal("fault", where + " -> killed");
            LoseUnflushedWrites();
            ::kill(::getpid(), SIGKILL);
        }
        m_machine.journal("fault", where + " -> " + std::to_string(fault.error));
        return fault.error;
    }
    return WIN_OK;
}
