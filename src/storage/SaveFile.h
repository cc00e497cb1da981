#pragma once

#include <array>
#include <ostream>
#include <streambuf>
#include <string>

// Writes a file beside its target and puts it in the target's place only once every
// byte is written and on the disk, so that a save that fails part-way (disk full,
// device gone, no permission) leaves the old file exactly as it was. The new file keeps
// the old one's permission bits; a link to the target stays a link. A target that is
// not a plain file (a device such as /dev/full, a pipe) cannot be replaced and is
// written straight into, and so is a file the user may write in a folder where no new
// file may be created.
class SaveFile {
public:
    explicit SaveFile(std::string path);
    ~SaveFile(); // an uncommitted save is thrown away, the target untouched
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;

    // Creates the temporary file. False when the folder is missing, the folder is not
    // writable and the target does not exist yet, or the target is a folder or a file
    // that may not be written.
    bool open();
    // Where the content goes; a write error puts the stream in a failed state.
    std::ostream& stream() { return m_stream; }
    // Whether commit() waits until the file is on the disk, or leaves that to the system
    // (a copy rewritten many times a second, synced separately at most once a second).
    enum class Sync { ToDisk, Later };
    // Flushes, syncs (unless told Later) and renames over the target. False on any
    // failure, after which the temporary file is gone and the target is as it was.
    bool commit(Sync sync = Sync::ToDisk);

private:
    // Buffered output to a file descriptor.
    class FileBuffer : public std::streambuf {
    public:
        FileBuffer();
        void attach(int fd) { m_fd = fd; }
        bool failed() const { return m_failed; }

    protected:
        int_type overflow(int_type c) override;
        int sync() override;

    private:
        bool drain();
        int m_fd = -1;
        bool m_failed = false;
        std::array<char, 16 * 1024> m_data{};
    };

    void discard();
    // Opens the target itself for writing, emptying it: there is no old content to keep.
    bool openDirect();

    std::string m_path;
    std::string m_target; // the file that is replaced: m_path with links resolved
    std::string m_tempPath;
    int m_fd = -1;
    bool m_direct = false;
    FileBuffer m_buffer;
    std::ostream m_stream;
};

// Puts a file written with Sync::Later, and its name in its folder, on the disk. False
// when the file cannot be opened or synced.
bool syncToDisk(const std::string& path);
