// Writes carved files out of a source (a disk image) into a target folder,
// byte for byte, each into a new file named after its offset.
//
// The examined source is never written: the folder that holds the source is
// refused as a target, and an existing file is never replaced (the new file
// is created exclusively). A copy that fails part-way is removed, so a file
// in the target folder is always a complete copy.
#pragma once

#include <cstdint>
#include <string>

#include "platform/WindowMessage.h"

class CCarvedFileWriter {
public:
    CCarvedFileWriter(std::u16string sourcePath, std::u16string targetDir);

    // Empty when the target folder can take carved files; otherwise the
    // reason, as a log text.
    std::u16string CheckTarget() const;

    // Copies `size` bytes at `offset` of the source into TARGET/OFFSET.db.
    // Returns the new file's path, or empty after logging the failure to
    // `hLogWnd` (type 3, caption "error").
    std::u16string Write(std::int64_t offset, std::int64_t size, HWND hLogWnd) const;

    // The name a carved database at `offset` gets in the target folder.
    static std::u16string FileNameFor(std::int64_t offset);

private:
    std::u16string m_sourcePath;
    std::u16string m_targetDir;
};
