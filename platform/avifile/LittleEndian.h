#pragma once

// The AVI records are written with the platform's one little-endian writer.

#include "platform/binary/ByteWriter.h"

namespace kelvora::avifile {

using binary::ByteWriter;

}  // namespace kelvora::avifile
