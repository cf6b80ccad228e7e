#include "folder_encoder.h"

#include "lzx_encoder.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace fm::tool {

namespace {

class StoreEncoder : public FolderEncoder {
public:
    void add(const unsigned char* data, std::uint32_t size, std::vector<DataBlock>& out) override {
        out.push_back({std::vector<unsigned char>(data, data + size), size});
    }
};

// MSZIP: each block is "CK" and a whole raw deflate stream. The decoder keeps the previous
// block's bytes as history, so they are handed to zlib as its dictionary.
class MsZipEncoder : public FolderEncoder {
public:
    MsZipEncoder() {
        if (deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) !=
            Z_OK)
            throw std::bad_alloc();
    }
    ~MsZipEncoder() override { deflateEnd(&z_); }
    MsZipEncoder(const MsZipEncoder&) = delete;
    MsZipEncoder& operator=(const MsZipEncoder&) = delete;

    void add(const unsigned char* data, std::uint32_t size, std::vector<DataBlock>& out) override {
        deflateReset(&z_);
        if (!history_.empty())
            deflateSetDictionary(&z_, history_.data(), static_cast<uInt>(history_.size()));
        DataBlock block;
        block.size = size;
        block.data.resize(2 + deflateBound(&z_, size));
        block.data[0] = 'C';
        block.data[1] = 'K';
        z_.next_in = const_cast<unsigned char*>(data);
        z_.avail_in = size;
        z_.next_out = block.data.data() + 2;
        z_.avail_out = static_cast<uInt>(block.data.size() - 2);
        if (deflate(&z_, Z_FINISH) != Z_STREAM_END)
            throw std::runtime_error("zlib could not compress a block");
        block.data.resize(block.data.size() - z_.avail_out);
        history_.assign(data, data + size);
        out.push_back(std::move(block));
    }

private:
    z_stream z_{};
    std::vector<unsigned char> history_;
};

} // namespace

std::unique_ptr<FolderEncoder> MakeFolderEncoder(Method method, int windowBits) {
    switch (method) {
    case Method::None:
        return std::make_unique<StoreEncoder>();
    case Method::MsZip:
        return std::make_unique<MsZipEncoder>();
    case Method::Lzx:
        break;
    }
    return std::make_unique<LzxEncoder>(windowBits);
}

std::uint16_t CompressionType(Method method, int windowBits) {
    switch (method) {
    case Method::None:
        return 0;
    case Method::MsZip:
        return 1;
    case Method::Lzx:
        break;
    }
    return static_cast<std::uint16_t>(3 | windowBits << 8);
}

} // namespace fm::tool
