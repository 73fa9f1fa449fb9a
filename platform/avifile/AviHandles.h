#pragma once

// The objects behind PAVIFILE and PAVISTREAM, and the table of live handles. Handles are
// looked up before use, so a stale or made-up handle is refused instead of followed.

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/avifile/AVIFile.h"
#include "platform/avifile/AviWriter.h"

namespace kelvora::avifile {

struct AVIFileObject {
    explicit AVIFileObject(const AviFileLimits& limits) : writer(limits) {}
    ULONG refs = 1;  // the caller's references plus one per live stream
    AviWriter writer;
    bool hasStream = false;
    bool hasAudio = false;
};

struct AVIStreamObject {
    ULONG refs = 1;               // the caller's references plus one per stream made over this one
    PAVIFILE file = nullptr;      // counted: the stream holds a reference on its file
    PAVISTREAM source = nullptr;  // counted: a pass-through stream holds its source
    int number = 0;               // of a stream made in the file: 0 the video, 1 the audio
};

class AviHandles {
public:
    // The process's one table, reached only with its lock held: handles are shared by every
    // thread, and so are the objects behind them.
    class Locked {
    public:
        AviHandles* operator->() const { return &m_handles; }

    private:
        friend class AviHandles;
        explicit Locked(AviHandles& handles) : m_lock(handles.m_mutex), m_handles(handles) {}
        std::unique_lock<std::mutex> m_lock;
        AviHandles& m_handles;
    };
    [[nodiscard]] static Locked lock();

    PAVIFILE add(std::unique_ptr<AVIFileObject> file);
    PAVISTREAM add(std::unique_ptr<AVIStreamObject> stream);
    [[nodiscard]] bool isLive(PAVIFILE file) const;
    [[nodiscard]] bool isLive(PAVISTREAM stream) const;
    // Drop one reference; the last one destroys the object (a file is finished first).
    // `finished` receives the result of finishing the file when this release finished it.
    ULONG release(PAVIFILE file, HRESULT* finished = nullptr);
    ULONG release(PAVISTREAM stream);

private:
    struct Table;
    AviHandles();
    ~AviHandles();
    std::mutex m_mutex;
    std::unique_ptr<Table> m_table;
};

}  // namespace kelvora::avifile
