#pragma once
// Builds firmware package (.pk1) files for tests in a temporary directory that
// is removed with the builder's TempDir.
//
//   pkgtest::TempDir dir;
//   auto path = pkgtest::PackageBuilder().AddBlock(0x40, 0xFF).AddPatternBlock(0x41, 7).WriteTo(dir.File("a.pk1"));
//
// Bytes() gives the file content, so that a test can cut or change it and
// write it with WriteBytes().

#include <QDir>
#include <QTemporaryDir>

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace pkgtest {

class TempDir {
public:
    // In the system's own form, as the program shows a file name.
    std::string Path() const { return QDir::toNativeSeparators(dir_.path()).toStdString(); }
    std::string File(const std::string& name) const
    {
        return QDir::toNativeSeparators(dir_.filePath(QString::fromStdString(name))).toStdString();
    }

private:
    QTemporaryDir dir_;
};

inline std::string WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

inline void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

class PackageBuilder {
public:
    static constexpr std::size_t kBlockSize = 4096;
    // Offset of block i's record in the file, and of its parts.
    static constexpr std::size_t RecordOffset(std::size_t i) { return 5 + 4101 * i; }
    static constexpr std::size_t DataOffset(std::size_t i) { return RecordOffset(i) + 1; }

    struct Block {
        std::uint8_t tag = 0;
        std::vector<std::uint8_t> data;
        std::uint32_t checksum = 0;
    };

    static std::uint32_t Sum(const std::vector<std::uint8_t>& data)
    {
        std::uint32_t sum = 0;
        for (std::uint8_t b : data)
            sum += b;
        return sum;
    }

    // A block with the given data (4096 bytes) and its correct checksum.
    PackageBuilder& AddBlock(std::uint8_t tag, std::vector<std::uint8_t> data)
    {
        data.resize(kBlockSize);
        const std::uint32_t sum = Sum(data);
        blocks_.push_back({tag, std::move(data), sum});
        return *this;
    }
    PackageBuilder& AddBlock(std::uint8_t tag, std::uint8_t fill)
    {
        return AddBlock(tag, std::vector<std::uint8_t>(kBlockSize, fill));
    }
    // Data that differs from block to block and byte to byte.
    PackageBuilder& AddPatternBlock(std::uint8_t tag, unsigned seed)
    {
        std::vector<std::uint8_t> data(kBlockSize);
        for (std::size_t i = 0; i < kBlockSize; ++i)
            data[i] = static_cast<std::uint8_t>((i * 31 + seed * 17 + (i >> 8)) & 0xFF);
        return AddBlock(tag, std::move(data));
    }

    // Overrides the stored checksum of block i (the data stay as they are).
    PackageBuilder& SetChecksum(std::size_t i, std::uint32_t checksum)
    {
        blocks_.at(i).checksum = checksum;
        return *this;
    }
    PackageBuilder& Magic(std::string magic)
    {
        magic_ = std::move(magic);
        return *this;
    }
    PackageBuilder& HeadByte(std::uint8_t head)
    {
        head_ = head;
        return *this;
    }
    // Stores this package total instead of the sum of the block checksums.
    PackageBuilder& Total(std::uint32_t total)
    {
        total_ = total;
        return *this;
    }
    PackageBuilder& Trailer(std::vector<std::uint8_t> trailer)
    {
        trailer_ = std::move(trailer);
        return *this;
    }

    const std::vector<Block>& Blocks() const { return blocks_; }
    std::uint32_t StoredTotal() const
    {
        if (total_)
            return *total_;
        std::uint32_t sum = 0;
        for (const Block& b : blocks_)
            sum += b.checksum;
        return sum;
    }

    std::vector<std::uint8_t> Bytes() const
    {
        std::vector<std::uint8_t> out(magic_.begin(), magic_.end());
        out.push_back(head_);
        for (const Block& b : blocks_) {
            out.push_back(b.tag);
            out.insert(out.end(), b.data.begin(), b.data.end());
            PutLe32(out, b.checksum);
        }
        out.push_back(0xFF);
        PutLe32(out, StoredTotal());
        out.insert(out.end(), trailer_.begin(), trailer_.end());
        return out;
    }

    std::string WriteTo(const std::string& path) const { return WriteBytes(path, Bytes()); }

private:
    std::string magic_ = ".PK1";
    std::uint8_t head_ = 0x01;
    std::vector<Block> blocks_;
    std::optional<std::uint32_t> total_;
    std::vector<std::uint8_t> trailer_;
};

} // namespace pkgtest
