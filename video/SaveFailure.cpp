#include "video/SaveFailure.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace kelvora::video {

namespace {

namespace fs = std::filesystem;

const char* const kFolderMissing = "La cartella di destinazione non esiste.";
const char* const kNoPermission = "Non è permesso scrivere il file in questa cartella.";
const char* const kReadOnlyFile = "Il file scelto è di sola lettura: non si può sostituire.";
const char* const kDiskFull = "Il disco è pieno.";
const char* const kIndexFull =
    "Il filmato ha raggiunto la lunghezza massima che il file AVI può indicizzare: non c'è posto per altri fotogrammi.";
const char* const kNotRegular = "Il nome scelto non è un file normale (è una cartella, una FIFO o un dispositivo).";

std::string folderOf(const std::string& target)
{
    const fs::path parent = fs::path(target).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

bool freeSpaceBelow(const std::string& folder, std::int64_t needBytes)
{
    struct statvfs space {};
    if (::statvfs(folder.c_str(), &space) != 0)
        return false;
    const auto available = static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize);
    // The library also writes headers and indexes: a few blocks more than the frame itself.
    return available < needBytes + 64 * 1024;
}

}  // namespace

std::string openFailureReason(const std::string& target)
{
    const std::string folder = folderOf(target);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return kFolderMissing;
    if (::stat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return kNotRegular;
    // The file's own mode comes first: a read-only file in a writable folder is not the
    // folder's fault.
    if (::stat(target.c_str(), &info) == 0 &&
        (::access(target.c_str(), W_OK) != 0 || (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0))
        return kReadOnlyFile;
    if (::access(folder.c_str(), W_OK) != 0)
        return kNoPermission;
    if (freeSpaceBelow(folder, 0))
        return kDiskFull;
    return "Il file non si può creare.";
}

std::string writeFailureReason(const std::string& target, std::int64_t needBytes, SinkFailure failure)
{
    if (failure == SinkFailure::IndexFull)
        return kIndexFull;
    if (freeSpaceBelow(folderOf(target), needBytes))
        return kDiskFull;
    return "Errore di scrittura sul disco.";
}

std::string formatFailureReason(SinkFailure failure)
{
    if (failure == SinkFailure::Format)
        return "Il formato dei fotogrammi non si può scrivere in un file AVI.";
    return "Il flusso video non si può creare.";
}

HRESULT resultCode(SinkFailure failure)
{
    switch (failure) {
    case SinkFailure::None:
        return 0;
    case SinkFailure::Open:
        return avifile::AVIERR_FILEOPEN;
    case SinkFailure::Unsupported:
        return avifile::AVIERR_UNSUPPORTED;
    case SinkFailure::Format:
        return avifile::AVIERR_BADFORMAT;
    case SinkFailure::IndexFull:
        return avifile::AVIERR_BADSIZE;
    case SinkFailure::SourceRead:
        return avifile::AVIERR_FILEREAD;
    case SinkFailure::Write:
        return avifile::AVIERR_FILEWRITE;
    case SinkFailure::Memory:
        return avifile::AVIERR_MEMORY;
    }
    return avifile::AVIERR_ERROR;
}

std::string changedFrameReason(const std::string& frame, const bitmap::FramePlan& plan)
{
    const std::string name = "Il file " + fs::path(frame).filename().string();
    if (plan.form == bitmap::FramePlan::Form::Incomplete)
        return name + " è incompleto: finisce prima delle sue righe di pixel.";
    if (!plan.accepted())
        return name + " è cambiato dopo essere stato aggiunto: " + plan.reason + ".";
    return name + " è cambiato dopo essere stato aggiunto: non ha più il formato del primo fotogramma.";
}

std::string changedDuringCopyReason(const std::string& frame)
{
    return "Il file " + fs::path(frame).filename().string() +
           " è cambiato mentre veniva copiato nel video (è più corto o è stato riscritto): il suo "
           "fotogramma non è stato scritto.";
}

}  // namespace kelvora::video
