#include "driver/timecode.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/timecode.h>
}

#include "driver/report.h"

// Up to max_digits decimal digits at *at, at least one; -1 when there are none.
static int read_digits(const char** at, int max_digits) {
    int value = -1;
    for (int count = 0; count < max_digits && **at >= '0' && **at <= '9'; ++count, ++*at)
        value = (value < 0 ? 0 : value * 10) + (**at - '0');
    return value;
}

TimecodeVerdict read_timecode(const char* text, AVRational rate, char canonical[AV_TIMECODE_STR_SIZE]) {
    canonical[0] = '\0';
    const char* at = text;
    int fields[4];
    char separators[3] = {};
    for (int i = 0; i < 4; ++i) {
        fields[i] = read_digits(&at, i < 3 ? 2 : 3);
        if (fields[i] < 0) return TIMECODE_NOT_A_TIMECODE;
        if (i < 3 && *at != '\0') separators[i] = *at++;
    }
    const bool drop = separators[2] == ';' || separators[2] == '.';
    if (*at != '\0' || separators[0] != ':' || separators[1] != ':' || (separators[2] != ':' && !drop))
        return TIMECODE_NOT_A_TIMECODE;
    const int hours = fields[0], minutes = fields[1], seconds = fields[2], frames = fields[3];
    if (hours > 23 || minutes > 59 || seconds > 59) return TIMECODE_NOT_A_TIMECODE;

    // Whole frames a second as FFmpeg's muxers round them; the MOV writer stores the count in
    // one byte and fails the whole file beyond it.
    if (rate.num <= 0 || rate.den <= 0) return TIMECODE_MISFITS_RATE;
    const int64_t per_second = (rate.num + rate.den / 2LL) / rate.den;
    if (per_second < 1 || per_second > 255 || frames >= per_second) return TIMECODE_MISFITS_RATE;
    // Drop-frame counting skips the first two numbers (four at 59.94) of each minute but every
    // tenth; a label it skips names no picture.
    const int skipped = static_cast<int>(per_second / 30 * 2);
    if (drop && (per_second % 30 != 0 || (seconds == 0 && minutes % 10 != 0 && frames < skipped)))
        return TIMECODE_MISFITS_RATE;
    // Each field is below 256 here; given as bytes, the compiler sees that the text fits.
    using Byte = unsigned char;
    snprintf(canonical, AV_TIMECODE_STR_SIZE, "%02u:%02u:%02u%c%0*u", Byte(hours), Byte(minutes),
             Byte(seconds), drop ? ';' : ':', per_second > 100 ? 3 : 2, Byte(frames));
    return TIMECODE_FITS;
}

// The picture's own S12M timecode as text: the side data counts the timecodes in its first word
// (up to three, for repeated fields), and the first of them is the picture's.
static bool s12m_timecode_text(const AVFrame* frame, AVRational rate, char text[AV_TIMECODE_STR_SIZE]) {
    const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_S12M_TIMECODE);
    uint32_t words[2];
    if (side == nullptr || side->size < sizeof words) return false;
    memcpy(words, side->data, sizeof words);
    if (words[0] < 1) return false;
    av_timecode_make_smpte_tc_string2(text, rate, words[1], 0, 0);
    return true;
}

static const char* tag_value(const AVDictionary* tags, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(tags, key, nullptr, 0);
    return entry != nullptr ? entry->value : nullptr;
}

// The video stream's tag, else a tmcd stream's, else the container's.
static const char* input_tag(const AVFormatContext* input, const AVStream* video, const char* key) {
    const char* found = tag_value(video->metadata, key);
    for (unsigned i = 0; found == nullptr && i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (stream->codecpar->codec_tag == MKTAG('t', 'm', 'c', 'd'))
            found = tag_value(stream->metadata, key);
    }
    return found != nullptr ? found : tag_value(input->metadata, key);
}

// A rate as people say it: 25, 29.97, 23.976.
struct RateText {
    char text[32];
};
static RateText rate_text(AVRational rate) {
    RateText words{};
    const int64_t thousandths = av_rescale(rate.num, 1000, rate.den);
    int length = snprintf(words.text, sizeof words.text, "%" PRId64 ".%03d", thousandths / 1000,
                          static_cast<int>(thousandths % 1000));
    while (length > 0 && words.text[length - 1] == '0') words.text[--length] = '\0';
    if (length > 0 && words.text[length - 1] == '.') words.text[--length] = '\0';
    return words;
}

// A tag's text as it can stand in a one-line message: control bytes shown as '?', cut after
// 40 bytes (never inside a UTF-8 character).
struct QuotedTag {
    char text[48];
};
static QuotedTag quoted_tag(const char* tag) {
    QuotedTag quoted{};
    size_t length = strnlen(tag, 41);
    const bool cut = length > 40;
    if (cut) length = 40;
    while (cut && length > 0 && (static_cast<unsigned char>(tag[length]) & 0xC0) == 0x80) --length;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(tag[i]);
        quoted.text[i] = byte < 0x20 || byte == 0x7F ? '?' : tag[i];
    }
    if (cut) memcpy(quoted.text + length, "...", 4);
    return quoted;
}

void find_start_timecode(TranscodeState* state) {
    const char* path = state->options.input_path;
    const AVRational rate = state->input_frame_rate;
    const char* found = input_tag(state->input_context, state->input_video_stream, "timecode");
    char side_data_text[AV_TIMECODE_STR_SIZE] = "";
    if (found == nullptr && state->first_picture != nullptr &&
        s12m_timecode_text(state->first_picture, rate, side_data_text)) {
        found = side_data_text;
    }
    if (found == nullptr) {
        report_failure("input '%s' has no timecode: the output has none", path);
        return;
    }
    switch (read_timecode(found, rate, state->start_timecode)) {
        case TIMECODE_FITS: break;
        case TIMECODE_NOT_A_TIMECODE:
            report_failure("input '%s': timecode '%s' is not hh:mm:ss:ff: the output has none", path,
                           quoted_tag(found).text);
            break;
        case TIMECODE_MISFITS_RATE:
            report_failure("input '%s': timecode '%s' does not fit %s frames a second: the output has none",
                           path, found, rate_text(rate).text);
            break;
    }
}

void attach_start_timecode(TranscodeState* state) {
    if (state->start_timecode[0] == '\0') return;
    AVStream* stream = state->output_video_stream;
    av_dict_set(&stream->metadata, "timecode", state->start_timecode, 0);
    if (strcmp(state->output_context->oformat->name, "mov") != 0) return;
    // The MOV writer counts the tmcd track's frames at the stream's rate and takes the reel's
    // name from its tags.
    stream->avg_frame_rate = state->input_frame_rate;
    const char* reel = input_tag(state->input_context, state->input_video_stream, "reel_name");
    if (reel != nullptr) av_dict_set(&stream->metadata, "reel_name", reel, 0);
}
