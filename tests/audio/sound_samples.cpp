#include "audio/sound_samples.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

std::vector<uint8_t> WavFile(int channels, int bits, int rate, const std::vector<uint8_t>& samples) {
    std::vector<uint8_t> out;
    auto text = [&](const char* t) { out.insert(out.end(), t, t + 4); };
    auto u16 = [&](uint32_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); };
    auto u32 = [&](uint32_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); };
    const auto size = static_cast<uint32_t>(samples.size());
    text("RIFF");
    u32(36 + size + (size & 1));
    text("WAVE");
    text("fmt ");
    u32(16);
    u16(1);
    u16(static_cast<uint32_t>(channels));
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate * channels * bits / 8));
    u16(static_cast<uint32_t>(channels * bits / 8));
    u16(static_cast<uint32_t>(bits));
    text("data");
    u32(size);
    out.insert(out.end(), samples.begin(), samples.end());
    if (size & 1) out.push_back(0);
    return out;
}

std::vector<uint8_t> AuFile(int channels, int encoding, int rate, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out{'.', 's', 'n', 'd'};
    for (uint32_t v : {24u, static_cast<uint32_t>(data.size()), static_cast<uint32_t>(encoding),
                       static_cast<uint32_t>(rate), static_cast<uint32_t>(channels)})
        out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint8_t> Pcm16BigEndian(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) {
        const auto u = static_cast<uint16_t>(s);
        out.insert(out.end(), {uint8_t(u >> 8), uint8_t(u)});
    }
    return out;
}

std::vector<uint8_t> Pcm16Bytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) {
        const auto u = static_cast<uint16_t>(s);
        out.insert(out.end(), {uint8_t(u), uint8_t(u >> 8)});
    }
    return out;
}

std::vector<int16_t> Tone(int frames, int channels, int rate, double frequency, double amplitude) {
    std::vector<int16_t> out;
    for (int i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2 * M_PI * frequency * i / rate);
        for (int c = 0; c < channels; ++c)
            out.push_back(static_cast<int16_t>(std::lround(c == 0 ? v : v / 2)));
    }
    return out;
}

std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& samples, int channels, int rate, int serial) {
    std::vector<uint8_t> out;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, 0.4f) != 0) {
        vorbis_info_clear(&info);
        return out;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);
    ogg_page page;
    auto append = [&] { out.insert(out.end(), page.header, page.header + page.header_len);
                        out.insert(out.end(), page.body, page.body + page.body_len); };
    ogg_packet header, commentHeader, codeHeader;
    vorbis_analysis_headerout(&dsp, &comment, &header, &commentHeader, &codeHeader);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &commentHeader);
    ogg_stream_packetin(&stream, &codeHeader);
    while (ogg_stream_flush(&stream, &page))
        append();

    const size_t frames = samples.size() / static_cast<size_t>(channels);
    size_t done = 0;
    for (;;) {
        const int n = static_cast<int>(std::min<size_t>(1024, frames - done));
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, n);
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c)
                    buffer[c][i] = samples[(done + static_cast<size_t>(i)) * static_cast<size_t>(channels) +
                                           static_cast<size_t>(c)] / 32768.0f;
            done += static_cast<size_t>(n);
        }
        vorbis_analysis_wrote(&dsp, n);
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page))
                    append();
            }
        }
        if (n == 0) break;
    }
    while (ogg_stream_flush(&stream, &page))
        append();
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}
