#pragma once

// The objects behind PAVIFILE and PAVISTREAM, and the table of live handles. Handles are
// looked up before use, so a stale or made-up handle is refused instead of followed.

#include <cstdint>
#include <memory>

#include "platform/avifile/AVIFile.h"
#include "platform/avifile/AviWriter.h"

namespace kelvora::avifile {

struct AVIFileObject {
    ULONG refs = 1;  // the caller's references plus one per live stream
    AviWriter writer{AviWriter::currentLimits()};
    bool hasStream = false;
};

struct AVIStreamObject {
    ULONG refs = 1;  // the caller's references plus one per stream made over this one
    PAVIFILE file = nullptr;      // counted: the stream holds a reference on its file
    PAVISTREAM source = nullptr;  // counted: a pass-through stream holds its source
};

class AviHandles {
public:
    static AviHandles& instance();

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
    std::unique_ptr<Table> m_table;
};

}  // namespace kelvora::avifile
