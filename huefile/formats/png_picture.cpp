#include "huefile/formats/png_picture.h"

#include "huefile/formats/picture_limit.h"

#include <cstdlib>
#include <memory>
#include <spng.h>
#include <string_view>

namespace {

// No chunk a palette strip or a piece of artwork carries comes near these; a file that has
// them is after memory.
constexpr std::size_t ChunkLimit = 1 << 20;
constexpr std::size_t ChunkCacheLimit = 8 << 20;

// A side longer than this is over the picture limit whatever the other side is.
constexpr std::uint32_t SideLimit =
    (std::uint32_t(PictureLimitMegabytes) << 20) / RgbaBytesPerPixel;

struct ContextFree {
    void operator()(spng_ctx *context) const { spng_ctx_free(context); }
};
using Context = std::unique_ptr<spng_ctx, ContextFree>;

struct BufferFree {
    void operator()(void *buffer) const { std::free(buffer); }
};

constexpr std::string_view Signature = "\x89PNG\r\n\x1a\n";

std::string Why(int error)
{
    switch (error) {
    case SPNG_ESIGNATURE:
        return "not a png picture";
    case SPNG_ECHUNK_CRC:
        return "a damaged png picture: a chunk's checksum is wrong";
    case SPNG_EOF:
    case SPNG_EIDAT_TOO_SHORT:
    case SPNG_IO_EOF:
        return "a damaged png picture: it ends too soon";
    case SPNG_ECHUNK_LIMITS:
        return "a png picture with chunks too large to read";
    case SPNG_EMEM:
        return "out of memory";
    default:
        return std::string("a damaged png picture: ") + spng_strerror(error);
    }
}

// The sizes the header gives, read where every png holds them, for a header the library
// refused before handing them out.
std::uint32_t HeaderNumber(std::string_view bytes, std::size_t at)
{
    std::uint32_t number = 0;
    for (std::size_t i = at; i < at + 4; ++i)
        number = number << 8 | static_cast<unsigned char>(bytes[i]);
    return number;
}

std::string WhyTooLarge(std::string_view bytes, int error)
{
    constexpr std::size_t WidthAt = 16;
    constexpr std::size_t HeightAt = 20;
    const bool oversized = error == SPNG_EUSER_WIDTH || error == SPNG_EUSER_HEIGHT;
    if (!oversized || bytes.size() < HeightAt + 4)
        return Why(error);
    const auto tooLarge =
        WhyPictureTooLarge(HeaderNumber(bytes, WidthAt), HeaderNumber(bytes, HeightAt));
    return tooLarge ? *tooLarge : Why(error);
}

std::string EncodeFailure(int error)
{
    return std::string("the picture could not be encoded as png: ") + spng_strerror(error);
}

std::vector<std::uint8_t> WithoutAlpha(const RgbaPicture &picture)
{
    std::vector<std::uint8_t> rgb;
    rgb.reserve(picture.bytes.size() / RgbaBytesPerPixel * 3);
    for (std::size_t at = 0; at < picture.bytes.size(); at += RgbaBytesPerPixel)
        rgb.insert(rgb.end(), &picture.bytes[at], &picture.bytes[at] + 3);
    return rgb;
}

bool Opaque(const RgbaPicture &picture)
{
    for (std::size_t alpha = 3; alpha < picture.bytes.size(); alpha += RgbaBytesPerPixel)
        if (picture.bytes[alpha] != 0xFF)
            return false;
    return true;
}

} // namespace

Expected<RgbaPicture> ReadPngPicture(std::string_view bytes)
{
    // The library reads the signature and header as one piece, so a short file of something
    // else would otherwise pass for a png cut short.
    if (bytes.substr(0, Signature.size()) != Signature)
        return Fail(Why(SPNG_ESIGNATURE));
    const Context context(spng_ctx_new(0));
    if (!context)
        return Fail(Why(SPNG_EMEM));
    spng_set_image_limits(context.get(), SideLimit, SideLimit);
    spng_set_chunk_limits(context.get(), ChunkLimit, ChunkCacheLimit);
    spng_set_png_buffer(context.get(), bytes.data(), bytes.size());
    spng_ihdr header{};
    if (const int error = spng_get_ihdr(context.get(), &header))
        return Fail(WhyTooLarge(bytes, error));
    if (const auto tooLarge = WhyPictureTooLarge(header.width, header.height))
        return Fail(*tooLarge);
    RgbaPicture picture{static_cast<int>(header.width), static_cast<int>(header.height), {}};
    std::size_t size = 0;
    if (const int error = spng_decoded_image_size(context.get(), SPNG_FMT_RGBA8, &size))
        return Fail(Why(error));
    picture.bytes.resize(size);
    if (const int error = spng_decode_image(context.get(), picture.bytes.data(), size,
                                            SPNG_FMT_RGBA8, SPNG_DECODE_TRNS))
        return Fail(Why(error));
    // The last image chunk's checksum and the chunks after the image are only read on demand;
    // a damaged file must not pass for a good one because its damage comes late.
    if (const int error = spng_decode_chunks(context.get()))
        return Fail(Why(error));
    return picture;
}

Expected<std::string> WritePngPicture(const RgbaPicture &picture)
{
    const Context context(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!context)
        return Fail(Why(SPNG_EMEM));
    const bool opaque = Opaque(picture);
    spng_ihdr header{};
    header.width = static_cast<std::uint32_t>(picture.width);
    header.height = static_cast<std::uint32_t>(picture.height);
    header.bit_depth = 8;
    header.color_type = opaque ? SPNG_COLOR_TYPE_TRUECOLOR : SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    spng_set_option(context.get(), SPNG_ENCODE_TO_BUFFER, 1);
    if (const int error = spng_set_ihdr(context.get(), &header))
        return Fail(EncodeFailure(error));
    const std::vector<std::uint8_t> rgb =
        opaque ? WithoutAlpha(picture) : std::vector<std::uint8_t>{};
    const std::vector<std::uint8_t> &rows = opaque ? rgb : picture.bytes;
    if (const int error = spng_encode_image(context.get(), rows.data(), rows.size(), SPNG_FMT_PNG,
                                            SPNG_ENCODE_FINALIZE))
        return Fail(EncodeFailure(error));
    std::size_t size = 0;
    int error = 0;
    const std::unique_ptr<void, BufferFree> encoded(
        spng_get_png_buffer(context.get(), &size, &error));
    if (!encoded)
        return Fail(EncodeFailure(error));
    return std::string(static_cast<const char *>(encoded.get()), size);
}
