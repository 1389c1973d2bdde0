#include "setup/Upgrade.h"

#include <cstring>
#include <memory>

#include "paths/WindowsPaths.h"
#include "setup/ProductPaths.h"
#include "setup/StepLine.h"

namespace {

// The record: a fixed header, then the three texts it counts. Written in one piece before the
// first change, read only whole: a record cut short by a crash does not add up and is not taken
// for one.
struct RecordHeader {
    char magic[16] = "ZIL upgrade 2";
    std::uint32_t serviceExisted = 0;
    std::uint32_t serviceRan = 0;
    std::uint32_t serviceType = 0;
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    std::uint32_t folderExisted = 0;
    std::uint64_t volume = 0;
    std::uint64_t fileId = 0;
    std::uint32_t lengths[4] = {};  // display name, image path, account, set-aside folder
};
// A record is a few hundred bytes; anything larger is not one of ours.
constexpr std::uint32_t RECORD_LIMIT = 8192;

String RecordBytes(const UpgradeRecord& record) {
    const ServiceSettings& service = record.service;
    const String* texts[4] = {&service.displayName, &service.imagePath, &service.account,
                              &record.setAsidePath};
    RecordHeader header;
    header.serviceExisted = record.serviceExisted;
    header.serviceRan = record.serviceRan;
    header.serviceType = service.serviceType;
    header.startType = service.startType;
    header.errorControl = service.errorControl;
    header.folderExisted = record.folderExisted;
    header.volume = record.volume;
    header.fileId = record.fileId;
    for (int i = 0; i < 4; ++i) {
        header.lengths[i] = static_cast<std::uint32_t>(texts[i]->size());
    }
    String bytes(reinterpret_cast<const char*>(&header), sizeof(header));
    for (const String* text : texts) {
        bytes += *text;
    }
    return bytes;
}

bool ParseRecord(const String& bytes, UpgradeRecord& record) {
    RecordHeader header;
    RecordHeader expected;
    if (bytes.size() < sizeof(header)) {
        return false;
    }
    std::memcpy(&header, bytes.data(), sizeof(header));
    std::size_t at = sizeof(header);
    ServiceSettings& service = record.service;
    String* texts[4] = {&service.displayName, &service.imagePath, &service.account,
                        &record.setAsidePath};
    for (int i = 0; i < 4; ++i) {
        if (header.lengths[i] > bytes.size() - at) {
            return false;
        }
        texts[i]->assign(bytes.data() + at, header.lengths[i]);
        at += header.lengths[i];
    }
    record.serviceExisted = header.serviceExisted != 0;
    record.serviceRan = header.serviceRan != 0;
    service.serviceType = header.serviceType;
    service.startType = header.startType;
    service.errorControl = header.errorControl;
    record.folderExisted = header.folderExisted != 0;
    record.volume = header.volume;
    record.fileId = header.fileId;
    return std::memcmp(header.magic, expected.magic, sizeof(header.magic)) == 0 &&
           at == bytes.size();
}

// The upgrade's id (Upgrade::Id): the record's file and the folder the record names, bytes for
// bytes.
String RecordId(const PathInfo& file, const UpgradeRecord& record) {
    const std::uint64_t numbers[] = {file.volume, file.fileId, record.volume, record.fileId};
    return String(reinterpret_cast<const char*>(numbers), sizeof numbers);
}

String ForeignRecordNote() {
    return NoteLine(SETUP_UPGRADE_RECORD, "not a record of this setup, left alone");
}

bool SameRegistration(const ServiceSettings& a, const ServiceSettings& b) {
    return a.displayName == b.displayName && a.serviceType == b.serviceType &&
           a.startType == b.startType && a.errorControl == b.errorControl &&
           a.imagePath == b.imagePath && a.account == b.account;
}

constexpr auto SERVICE_RUNNING_CHANGE = Join(SETUP_SERVICE_NAME, " running");
constexpr auto SERVICE_REGISTRATION_CHANGE = Join(SETUP_SERVICE_NAME, " registration");

}  // namespace

bool AccountNeedsPassword(const String& account) {
    static constexpr const char* builtIn[] = {"",
                                              "localsystem",
                                              ".\\localsystem",
                                              "nt authority\\system",
                                              "nt authority\\localservice",
                                              "nt authority\\local service",
                                              "nt authority\\networkservice",
                                              "nt authority\\network service"};
    std::string_view name = account;
    for (const char* known : builtIn) {
        if (EqualsIgnoringCase(name, known)) {
            return false;
        }
    }
    constexpr std::string_view serviceAccounts = "nt service\\";
    return !EqualsIgnoringCase(name.substr(0, serviceAccounts.size()), serviceAccounts) &&
           !name.ends_with('$');
}

Upgrade::Upgrade(Platform& platform, FileOperations& files, ProductService& service,
                 Transaction& transaction, StatusDisplay& show)
    : m_platform(platform),
      m_files(files),
      m_service(service),
      m_transaction(transaction),
      m_show(show) {}

Upgrade::Resumption Upgrade::ResumeInterrupted(bool restoreFolder) {
    Resumption resumed;
    PathInfo info;
    Win32Error found = m_platform.files().pathInfo(SETUP_UPGRADE_RECORD, info);
    if (IsMissing(found)) {
        return resumed;
    }
    UpgradeRecord record;
    // Only a plain file that administrators own can be a record of ours; a user may have
    // planted anything else to have setup "restore" files of their choosing.
    if (found != WIN_OK || info.kind != PathKind::File || !info.trusted || !ReadRecord(record)) {
        resumed.outcome = Interrupted::Ignored;
        resumed.note = ForeignRecordNote();
        return resumed;
    }
    resumed.outcome = Interrupted::Resumed;
    resumed.id = RecordId(info, record);
    if (record.folderExisted && IsRecordedFolder(record)) {
        if (restoreFolder) {
            resumed.error = RestoreFolder(record, resumed.left);
        } else {
            resumed.left = m_files.RemoveOrRetire(record.setAsidePath);
            resumed.error = resumed.left.error;
        }
    } else if (PathInfo other; record.folderExisted &&
                               m_platform.files().pathInfo(record.setAsidePath, other) == WIN_OK) {
        resumed.note = NoteLine(record.setAsidePath, "not the folder setup set aside, left alone");
    }
    if (restoreFolder && resumed.error == WIN_OK) {
        // The record is there, so the cut-off run never committed: whatever is registered now
        // came from it, and the old registration comes back as it was. It is not started: the
        // upgrade that follows would only stop it again, and starts it if it fails.
        resumed.error = record.serviceExisted ? RegisterAsRecorded(record) : RemoveCurrentService();
        if (resumed.error == WIN_OK && record.serviceExisted && record.serviceRan) {
            NoteServiceRan();
            ServiceStopped();
        }
    }
    if (resumed.error != WIN_OK) {
        resumed.outcome = Interrupted::Failed;
    } else {
        DeleteRecord();
    }
    return resumed;
}

StepOutcome Upgrade::ClearLeftovers() {
    FileSystem& files = m_platform.files();
    StepOutcome cleared;
    // Where each kind of leftover lies, and how its name goes on from there. What goes of one
    // kind never takes a name of a kind after it.
    static constexpr const char* places[][2] = {{SETUP_SET_ASIDE_DIR, ""},
                                                {SETUP_PROGRAM_DIR, SETUP_RETIRED_SUFFIX},
                                                {SETUP_UPGRADE_RECORD, SETUP_RETIRED_SUFFIX}};
    for (const auto& [path, suffix] : places) {
        String pattern = path;
        pattern += suffix;
        pattern += '*';
        std::vector<FolderItem> matches;
        files.listItems(pattern, matches);
        for (const FolderItem& match : matches) {
            ClearLeftover(match.path, cleared);
        }
    }
    // A record that its run could only empty names nothing; it is setup's to delete.
    if (PathInfo record; files.pathInfo(SETUP_UPGRADE_RECORD, record) == WIN_OK &&
                         record.kind == PathKind::File && record.trusted && record.size == 0) {
        ClearLeftover(SETUP_UPGRADE_RECORD, cleared);
    }
    return cleared;
}

// Adds what became of the leftover at `path` to `cleared`.
void Upgrade::ClearLeftover(const String& path, StepOutcome& cleared) {
    FileSystem& files = m_platform.files();
    PathInfo info;
    bool ours = files.pathInfo(path, info) == WIN_OK && info.trusted &&
                (info.kind == PathKind::Folder || info.kind == PathKind::File);
    if (!ours) {
        return;  // someone else's: the trust checks name it where it matters
    }
    Removal removal = m_files.RemoveOrRetire(path);
    if (removal.error == WIN_OK) {
        cleared.Left(removal);
        return;
    }
    // What was moved out of the way by an earlier run is marked for the restart already; it is
    // marked once more in case that mark was lost. Either way this run is completed only by the
    // restart.
    if (path.find(SETUP_RETIRED_SUFFIX) != String::npos && files.deleteAtRestart(path) == WIN_OK) {
        cleared.runLog += NoteLine(path, "held open, deleted at the next restart");
        cleared.restart.push_back(path);
        return;
    }
    cleared.runLog += NoteLine(path, "left by an earlier run, cannot be removed", removal.error);
    if (cleared.error == WIN_OK) {
        cleared.error = removal.error;
    }
}

void Upgrade::ServiceStopped() {
    m_transaction.Made(SERVICE_RUNNING_CHANGE.data(), [this] { return StartIfStopped(); });
}

StepOutcome Upgrade::Begin() {
    FileSystem& files = m_platform.files();
    StepOutcome begun;
    PathInfo info;
    bool recordable = true;
    if (Win32Error found = files.pathInfo(SETUP_UPGRADE_RECORD, info); found == WIN_OK) {
        // Someone else's is neither replaced nor written through: this upgrade then goes on
        // with what it keeps in memory, which gives everything back unless the run is cut off.
        recordable = info.kind == PathKind::File && info.trusted;
    } else if (!IsMissing(found)) {
        begun.error = found;
        return begun;
    }
    ServiceRegistration registration = m_service.QueryRegistration();
    if (registration.error != WIN_OK && registration.error != WIN_SERVICE_DOES_NOT_EXIST) {
        begun.error = registration.error;
        return begun;
    }
    m_record.serviceExisted = registration.error == WIN_OK;
    m_record.service = std::move(registration.settings);
    // A registration that setup cannot give back as it was must not be taken away.
    if (m_record.serviceExisted && AccountNeedsPassword(m_record.service.account)) {
        begun.error = WIN_NOT_SUPPORTED;
        String logsOnAs = theServiceName + " logs on as ";
        logsOnAs += m_record.service.account;
        begun.runLog = NoteLine(logsOnAs, "setup cannot know its password, nothing is replaced");
        return begun;
    }
    if (Win32Error error = files.pathInfo(SETUP_PROGRAM_DIR, info); error == WIN_OK) {
        m_record.folderExisted = true;
        m_record.volume = info.volume;
        m_record.fileId = info.fileId;
        // A folder left alone at the usual place keeps it; the old folder waits beside it.
        m_record.setAsidePath = m_files.FreeName(SETUP_SET_ASIDE_DIR);
        if (m_record.setAsidePath.empty()) {
            begun.error = WIN_ALREADY_EXISTS;
            return begun;
        }
    } else if (!IsMissing(error)) {
        begun.error = error;
        return begun;
    }
    if (!m_record.serviceExisted && !m_record.folderExisted) {
        return begun;  // a first install: nothing to give back
    }
    if (!recordable) {
        begun.runLog = ForeignRecordNote();
        return begun;
    }
    Win32Error written = WriteRecord();
    m_recordWritten = written == WIN_OK;
    if (m_recordWritten && files.pathInfo(SETUP_UPGRADE_RECORD, info) == WIN_OK) {
        m_id = RecordId(info, m_record);
    }
    begun.error = written;
    return begun;
}

ServiceOutcome Upgrade::RemoveService() {
    ServiceOutcome deleted = m_service.DeleteProductService();
    if (deleted.error == 0) {
        m_transaction.Made(SERVICE_REGISTRATION_CHANGE.data(), [this] {
            // Whatever took the name meanwhile gives way (a new service that was let be).
            if (Win32Error removed = RemoveCurrentService(); removed != WIN_OK) {
                return Undone{removed, {}, {}};
            }
            if (!m_record.serviceExisted) {
                return Undone{};
            }
            ServiceOutcome created = m_service.RegisterService(m_record.service);
            m_show.ShowStatus(created.statusLine);
            return Undone{created.error, std::move(created.statusLine), {}};
        });
    }
    return deleted;
}

Win32Error Upgrade::SetAsideFolder() {
    if (!m_record.folderExisted) {
        return WIN_OK;
    }
    Win32Error error = m_platform.files().moveFile(SETUP_PROGRAM_DIR, m_record.setAsidePath, false);
    if (error == WIN_OK) {
        m_transaction.Made(
            SETUP_PROGRAM_DIR,
            [this] {
                Removal cleared;
                Win32Error back = RestoreFolder(m_record, cleared);
                Undone undone = Undone::Removed(cleared);
                undone.error = back;
                undone.runLog += StepLine("Restore Old ZIL Directory", back);
                return undone;
            },
            [this] { return m_files.RemoveOrRetire(m_record.setAsidePath); });
    }
    return error;
}

void Upgrade::MadeProgramFolder() {
    m_transaction.Made(SETUP_PROGRAM_DIR, [this] {
        return Undone::Removed(m_files.RemoveOrRetire(SETUP_PROGRAM_DIR));
    });
}

void Upgrade::MadeService() {
    m_transaction.Made(SERVICE_REGISTRATION_CHANGE.data(), [this] {
        return Undone{RemoveCurrentService(), {}, {}};
    });
}

void Upgrade::Restored(const Restoration& restored) {
    if (restored.error == WIN_OK && m_recordWritten) {
        DeleteRecord();
        m_recordWritten = false;
    }
}

std::vector<Removal> Upgrade::Commit() {
    // From here on nothing brings the old version back: the record goes first.
    if (m_recordWritten) {
        DeleteRecord();
        m_recordWritten = false;
    }
    return m_transaction.Commit();
}

Win32Error Upgrade::WriteRecord() {
    String text = RecordBytes(m_record);
    std::unique_ptr<File> file;
    Win32Error error = m_platform.files().open(SETUP_UPGRADE_RECORD, FileMode::CreateWrite, file);
    if (error == WIN_OK) {
        error = file->write(text.data(), static_cast<std::uint32_t>(text.size()));
    }
    // The record must outlive a power cut that follows the first change.
    if (error == WIN_OK) {
        error = file->flush();
    }
    return error;
}

bool Upgrade::ReadRecord(UpgradeRecord& record) {
    std::unique_ptr<File> file;
    if (m_platform.files().open(SETUP_UPGRADE_RECORD, FileMode::ReadShared, file) != WIN_OK) {
        return false;
    }
    String text(RECORD_LIMIT, '\0');
    std::uint32_t got = 0;
    if (file->read(text.data(), RECORD_LIMIT, got) != WIN_OK || got == RECORD_LIMIT) {
        return false;
    }
    text.resize(got);
    return ParseRecord(text, record);
}

// The folder the record names is the one that was set aside: a real folder (not a link or a
// junction to elsewhere), of administrators, and the very folder that was renamed.
bool Upgrade::IsRecordedFolder(const UpgradeRecord& record) {
    PathInfo info;
    return !record.setAsidePath.empty() &&
           m_platform.files().pathInfo(record.setAsidePath, info) == WIN_OK &&
           info.kind == PathKind::Folder && info.trusted && info.volume == record.volume &&
           info.fileId == record.fileId;
}

// The new files go (or, held open, out of the way: `cleared` says so), and the old folder comes
// back whole.
Win32Error Upgrade::RestoreFolder(const UpgradeRecord& record, Removal& cleared) {
    cleared = m_files.RemoveOrRetire(SETUP_PROGRAM_DIR);
    return cleared.error != WIN_OK ? cleared.error
                                   : m_files.MoveBack(record.setAsidePath, SETUP_PROGRAM_DIR);
}

// The service registered now is stopped and unregistered, so that another can take its name.
Win32Error Upgrade::RemoveCurrentService() {
    ServiceQuery query = m_service.QueryServiceState();
    if (query.error == WIN_SERVICE_DOES_NOT_EXIST) {
        return WIN_OK;
    }
    if (query.error != 0) {
        return query.error;
    }
    if (query.state != SVC_STOPPED) {
        ServiceOutcome stopped = m_service.StartOrStopWithRetry(SERVICE_MODE_STOP, &m_show);
        if (stopped.error != 0) {
            return stopped.error;
        }
    }
    return m_service.DeleteProductService().error;
}

// Whatever is registered under the name now gives way to the registration as recorded, unless
// it is that registration already.
Win32Error Upgrade::RegisterAsRecorded(const UpgradeRecord& record) {
    ServiceRegistration now = m_service.QueryRegistration();
    if (now.error == WIN_OK && SameRegistration(now.settings, record.service)) {
        return WIN_OK;
    }
    if (Win32Error removed = RemoveCurrentService(); removed != WIN_OK) {
        return removed;
    }
    return m_service.RegisterService(record.service).error;
}

// A service that cannot even be asked is tried all the same: the log then says it failed.
Undone Upgrade::StartIfStopped() {
    if (ServiceQuery now = m_service.QueryServiceState();
        now.error == 0 && now.state == SVC_RUNNING) {
        return {};
    }
    ServiceOutcome started = m_service.StartOrStopWithRetry(SERVICE_MODE_START, &m_show);
    return {started.error, StartLines(started), {}};
}

// A record that cannot be deleted is emptied: an empty record names nothing to bring back.
void Upgrade::DeleteRecord() {
    FileSystem& files = m_platform.files();
    if (files.findFile(SETUP_UPGRADE_RECORD) && files.removeFile(SETUP_UPGRADE_RECORD) != WIN_OK) {
        std::unique_ptr<File> emptied;
        files.open(SETUP_UPGRADE_RECORD, FileMode::CreateWrite, emptied);
    }
}
