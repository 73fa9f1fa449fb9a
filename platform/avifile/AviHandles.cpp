#include "platform/avifile/AviHandles.h"

#include <unordered_map>

namespace kelvora::avifile {

struct AviHandles::Table {
    std::unordered_map<PAVIFILE, std::unique_ptr<AVIFileObject>> files;
    std::unordered_map<PAVISTREAM, std::unique_ptr<AVIStreamObject>> streams;
};

AviHandles::AviHandles() : m_table(std::make_unique<Table>()) {}
AviHandles::~AviHandles() = default;

AviHandles::Locked AviHandles::lock()
{
    static AviHandles handles;
    return Locked(handles);
}

PAVIFILE AviHandles::add(std::unique_ptr<AVIFileObject> file)
{
    PAVIFILE handle = file.get();
    m_table->files.emplace(handle, std::move(file));
    return handle;
}

PAVISTREAM AviHandles::add(std::unique_ptr<AVIStreamObject> stream)
{
    PAVISTREAM handle = stream.get();
    m_table->streams.emplace(handle, std::move(stream));
    return handle;
}

bool AviHandles::isLive(PAVIFILE file) const { return file && m_table->files.contains(file); }
bool AviHandles::isLive(PAVISTREAM stream) const { return stream && m_table->streams.contains(stream); }

ULONG AviHandles::release(PAVIFILE file, HRESULT* finished)
{
    auto it = m_table->files.find(file);
    if (it == m_table->files.end())
        return 0;
    if (--file->refs > 0)
        return file->refs;
    const HRESULT hr = file->writer.finish();
    if (finished)
        *finished = hr;
    m_table->files.erase(it);
    return 0;
}

ULONG AviHandles::release(PAVISTREAM stream)
{
    auto it = m_table->streams.find(stream);
    if (it == m_table->streams.end())
        return 0;
    if (--stream->refs > 0)
        return stream->refs;
    PAVIFILE file = stream->file;
    PAVISTREAM source = stream->source;
    m_table->streams.erase(it);
    if (source)
        release(source);
    if (file)
        release(file);
    return 0;
}

}  // namespace kelvora::avifile
