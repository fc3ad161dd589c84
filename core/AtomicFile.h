#pragma once
// Replaces a file whole: the content goes to a temporary file beside it, is flushed to disk, and
// is renamed over the old file. A crash at any point leaves either the old or the new file.
//
// On Windows another process holding the target open without sharing its deletion (usually an
// antivirus scanner reading the file just written) makes the replace step fail for a moment; the
// result says so, and the caller may try again shortly (core/HeldFileRetry.h). The temporary is
// removed then too, and the old file is untouched.
//
// The temporary file has a name of its own for each write ("<name>.tmp-<random>") and is created
// exclusively, never through an existing file or link, so a link planted beside the file cannot
// make a write land anywhere else. It is removed when the write fails; temporaries an earlier
// run left behind ("<name>.tmp" and "<name>.tmp-*") are removed by the next write.
//
// The calls on the temporary (create, write, flush, close, rename) go through an OsFileCalls
// table, the system's own unless a test passes another; the table also says how lines end in
// the platform's text format. Folders are made, listed and cleaned with std::filesystem.
//
// Threads: any thread; writes of different files run in parallel. Writes of the same file must
// be serialised by the caller (the last rename wins).
#include <filesystem>
#include <string>
#include <string_view>

#include "core/OsFileCalls.h"

namespace quorvex {

struct FileWriteResult {
    // Empty on success, otherwise why the write failed (the old file, if any, is then untouched).
    std::string failure;
    // The replace step failed because another process has the target in use: a sharing, access
    // or lock violation on Windows, EBUSY or ETXTBSY elsewhere. Worth trying again shortly.
    bool targetInUse = false;
};

// Creates missing parent folders.
FileWriteResult WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                                    const OsFileCalls& os = SystemFileCalls());

// The same for text whose lines end with "\n", written in the platform's text format, as a
// text-mode stream would write it: with os.textLineEnd CR LF, every "\n" becomes "\r\n".
FileWriteResult WriteTextFileAtomically(const std::filesystem::path& path, std::string_view text,
                                        const OsFileCalls& os = SystemFileCalls());

}  // namespace quorvex
