#pragma once
// Whole-file reading and writing used by the codecs.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A read-only view of a whole file; ok() is false when it cannot be opened or read.
class FCMappedFile {
public:
    explicit FCMappedFile(const std::string& path);
    ~FCMappedFile();
    FCMappedFile(const FCMappedFile&) = delete;
    FCMappedFile& operator=(const FCMappedFile&) = delete;
    bool ok() const { return m_ok; }
    const uint8_t* data() const { return m_data ? m_data : &m_nothing; }
    size_t size() const { return m_size; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    bool m_ok = false;
    uint8_t m_nothing = 0;
};

// Writes the pieces one after another as the file `path`, replacing it only when all of it
// was written; false on any error.
bool WriteWholeFile(const std::string& path,
                    const std::vector<std::pair<const void*, size_t>>& pieces);
