#include "setup/Upgrade.h"

#include <cstring>
#include <memory>

#include "platform/Format.h"
#include "setup/ProductPaths.h"
#include "setup/StepLine.h"

namespace {

// The record: a fixed header, then the three texts it counts. Written in one piece before the
// first change, read only whole: a record cut short by a crash does not add up and is not taken
// for one.
struct RecordHeader {
    char magic[16] = "ZIL upgrade 1";
    std::uint32_t serviceExisted = 0;
    std::uint32_t serviceRan = 0;
    std::uint32_t serviceType = 0;
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    std::uint32_t folderExisted = 0;
    std::uint64_t volume = 0;
    std::uint64_t fileId = 0;
    std::uint32_t lengths[3] = {};  // display name, image path, set-aside folder
};
// A record is a few hundred bytes; anything larger is not one of ours.
constexpr std::uint32_t RECORD_LIMIT = 8192;

String RecordBytes(const UpgradeRecord& record) {
    const ServiceSettings& service = record.service;
    const String* texts[3] = {&service.displayName, &service.imagePath, &record.setAsidePath};
    RecordHeader header;
    header.serviceExisted = record.serviceExisted;
    header.serviceRan = record.serviceRan;
    header.serviceType = service.serviceType;
    header.startType = service.startType;
    header.errorControl = service.errorControl;
    header.folderExisted = record.folderExisted;
    header.volume = record.volume;
    header.fileId = record.fileId;
    String bytes;
    for (int i = 0; i < 3; ++i) {
        header.lengths[i] = static_cast<std::uint32_t>(texts[i]->size());
        bytes += *texts[i];
    }
    return String(reinterpret_cast<const char*>(&header), sizeof(header)) + bytes;
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
    String* texts[3] = {&service.displayName, &service.imagePath, &record.setAsidePath};
    for (int i = 0; i < 3; ++i) {
        if (header.lengths[i] > bytes.size() - at) {
            return false;
        }
        texts[i]->assign(bytes, at, header.lengths[i]);
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

String ForeignRecordNote() {
    return NoteLine(SETUP_UPGRADE_RECORD, "not a record of this setup, left alone");
}

bool IsMissing(Win32Error error) {
    return error == WIN_FILE_NOT_FOUND || error == WIN_PATH_NOT_FOUND;
}

}  // namespace

Upgrade::Upgrade(Platform& platform, FileOperations& files, ProductService& service)
    : m_platform(platform), m_files(files), m_service(service) {}

Upgrade::Resumption Upgrade::ResumeInterrupted(bool restoreFolder) {
    PathInfo info;
    Win32Error found = m_platform.files().pathInfo(SETUP_UPGRADE_RECORD, info);
    if (IsMissing(found)) {
        return {};
    }
    UpgradeRecord record;
    // Only a plain file that administrators own can be a record of ours; a user may have
    // planted anything else to have setup "restore" files of their choosing.
    if (found != WIN_OK || info.kind != PathKind::File || !info.trusted || !ReadRecord(record)) {
        return {Interrupted::Ignored, WIN_OK, ForeignRecordNote()};
    }
    Resumption resumed{Interrupted::Resumed, WIN_OK, ""};
    bool folderBack = false;
    if (record.folderExisted && IsRecordedFolder(record)) {
        resumed.error = restoreFolder ? RestoreFolder(record)
                                      : m_files.RemoveOrRetire(record.setAsidePath).error;
        folderBack = restoreFolder && resumed.error == WIN_OK;
    } else if (PathInfo other; record.folderExisted &&
                               m_platform.files().pathInfo(record.setAsidePath, other) == WIN_OK) {
        resumed.note = NoteLine(record.setAsidePath, "not the folder setup set aside, left alone");
    }
    if (resumed.error != WIN_OK) {
        return {Interrupted::Failed, resumed.error, resumed.note};
    }
    if (restoreFolder) {
        // With the old folder back, whatever is registered now came from the cut-off run (or is
        // the old service itself): the old registration comes back as it was. Without it, a
        // service registered now is kept (the upgrade may have gone through), and the old one
        // comes back only where none is. Either way it is not started: the upgrade that follows
        // would only stop it again, and restarts it if it fails.
        if (folderBack) {
            RemoveCurrentService(nullptr);
        }
        ServiceQuery now = m_service.QueryServiceState();
        if (record.serviceExisted && now.error == WIN_SERVICE_DOES_NOT_EXIST) {
            m_service.RegisterService(record.service);
            m_serviceRan = record.serviceRan;
        }
    }
    DeleteRecord();
    return resumed;
}

Upgrade::Beginning Upgrade::Begin() {
    FileSystem& files = m_platform.files();
    PathInfo info;
    bool recordable = true;
    if (Win32Error found = files.pathInfo(SETUP_UPGRADE_RECORD, info); found == WIN_OK) {
        // Someone else's is neither replaced nor written through: this upgrade then goes on
        // with what it keeps in memory, which gives everything back unless the run is cut off.
        recordable = info.kind == PathKind::File && info.trusted;
    } else if (!IsMissing(found)) {
        return {found, ""};
    }
    ServiceRegistration registration = m_service.QueryRegistration();
    if (registration.error != WIN_OK && registration.error != WIN_SERVICE_DOES_NOT_EXIST) {
        return {registration.error, ""};
    }
    m_record.serviceExisted = registration.error == WIN_OK;
    m_record.service = std::move(registration.settings);
    m_record.serviceRan = m_serviceRan;
    if (Win32Error error = files.pathInfo(SETUP_PROGRAM_DIR, info); error == WIN_OK) {
        m_record.folderExisted = true;
        m_record.volume = info.volume;
        m_record.fileId = info.fileId;
        // A folder left alone at the usual place keeps it; the old folder waits beside it.
        m_record.setAsidePath = m_files.FreeName(SETUP_SET_ASIDE_DIR);
        if (m_record.setAsidePath.empty()) {
            return {WIN_ALREADY_EXISTS, ""};
        }
    } else if (!IsMissing(error)) {
        return {error, ""};
    }
    m_began = true;
    if (!m_record.serviceExisted && !m_record.folderExisted) {
        return {};  // a first install: nothing to give back
    }
    if (!recordable) {
        return {WIN_OK, ForeignRecordNote()};
    }
    return {WriteRecord(), ""};
}

ServiceOutcome Upgrade::RemoveService() {
    ServiceOutcome deleted = m_service.DeleteProductService();
    m_serviceRemoved = deleted.error == 0;
    return deleted;
}

Win32Error Upgrade::SetAsideFolder() {
    if (!m_record.folderExisted) {
        return WIN_OK;
    }
    Win32Error error = m_platform.files().moveFile(SETUP_PROGRAM_DIR, m_record.setAsidePath, false);
    m_folderSetAside = error == WIN_OK;
    return error;
}

Restoration Upgrade::Restore(StatusDisplay* show) {
    Restoration restored;
    auto failed = [&](Win32Error error) {
        if (restored.error == WIN_OK) {
            restored.error = error;
        }
    };
    // Whatever is registered now is the new service once the old one was removed, or where
    // there was none.
    if (m_serviceRemoved || (m_began && !m_record.serviceExisted)) {
        failed(RemoveCurrentService(show));
    }
    if (m_folderSetAside) {
        Win32Error error = RestoreFolder(m_record);
        restored.runLog += StepLine("Restore Old ZIL Directory", error);
        failed(error);
        m_folderSetAside = error != WIN_OK;
    } else if (m_began && !m_record.folderExisted) {
        // No folder was there before this run: whatever is there now is new.
        failed(m_files.RemoveOrRetire(SETUP_PROGRAM_DIR).error);
    }
    if (m_serviceRemoved && m_record.serviceExisted) {
        ServiceOutcome created = m_service.RegisterService(m_record.service);
        if (show != nullptr) {
            show->ShowStatus(created.statusLine);
        }
        restored.runLog += created.statusLine;
        failed(static_cast<Win32Error>(created.error));
        m_serviceRemoved = created.error != 0;
    }
    // A service that cannot even be asked is tried all the same: the log then says it failed.
    if (ServiceQuery now; m_serviceRan && ((now = m_service.QueryServiceState()).error != 0 ||
                                           now.state != SVC_RUNNING)) {
        ServiceOutcome started = m_service.StartOrStopWithRetry(SERVICE_MODE_START, show);
        restored.runLog += Format("START ZIL Service retcode = %d\r\n", started.error);
        restored.runLog += started.statusLine;
        failed(static_cast<Win32Error>(started.error));
    }
    // While the old folder is still set aside, the record tells the next run where it waits.
    if (!m_folderSetAside) {
        DeleteRecord();
    }
    return restored;
}

Removal Upgrade::Commit() {
    // From here on nothing brings the old version back: the record goes first.
    DeleteRecord();
    Removal removal;
    if (m_folderSetAside) {
        removal = m_files.RemoveOrRetire(m_record.setAsidePath);
        m_folderSetAside = false;
    }
    m_serviceRemoved = false;
    return removal;
}

Win32Error Upgrade::WriteRecord() {
    String text = RecordBytes(m_record);
    std::unique_ptr<File> file;
    Win32Error error = m_platform.files().open(SETUP_UPGRADE_RECORD, FileMode::CreateWrite, file);
    if (error == WIN_OK) {
        error = file->write(text.data(), static_cast<std::uint32_t>(text.size()));
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

// The new files go (or, held open, out of the way), and the old folder comes back whole.
Win32Error Upgrade::RestoreFolder(const UpgradeRecord& record) {
    if (Removal cleared = m_files.RemoveOrRetire(SETUP_PROGRAM_DIR); cleared.error != WIN_OK) {
        return cleared.error;
    }
    return m_files.MoveBack(record.setAsidePath, SETUP_PROGRAM_DIR);
}

// The service registered now is stopped and unregistered, so that another can take its name.
Win32Error Upgrade::RemoveCurrentService(StatusDisplay* show) {
    ServiceQuery query = m_service.QueryServiceState();
    if (query.error == WIN_SERVICE_DOES_NOT_EXIST) {
        return WIN_OK;
    }
    if (query.error != 0) {
        return static_cast<Win32Error>(query.error);
    }
    if (query.state != SVC_STOPPED) {
        ServiceOutcome stopped = m_service.StartOrStopWithRetry(SERVICE_MODE_STOP, show);
        if (stopped.error != 0) {
            return static_cast<Win32Error>(stopped.error);
        }
    }
    return static_cast<Win32Error>(m_service.DeleteProductService().error);
}

// A record that cannot be deleted is emptied: an empty record names nothing to bring back.
void Upgrade::DeleteRecord() {
    FileSystem& files = m_platform.files();
    if (files.findFile(SETUP_UPGRADE_RECORD) && files.removeFile(SETUP_UPGRADE_RECORD) != WIN_OK) {
        std::unique_ptr<File> emptied;
        files.open(SETUP_UPGRADE_RECORD, FileMode::CreateWrite, emptied);
    }
}
