#include "driver/field_order.h"

bool picture_is_interlaced(const AVFrame* frame) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 7, 100)
    return frame->flags & AV_FRAME_FLAG_INTERLACED;
#else
    return frame->interlaced_frame;
#endif
}

bool picture_top_field_first(const AVFrame* frame) {
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 7, 100)
    return frame->flags & AV_FRAME_FLAG_TOP_FIELD_FIRST;
#else
    return frame->top_field_first;
#endif
}

void mark_picture_fields(const TranscodeState* state, AVFrame* picture, const AVFrame* decoded) {
    if (state->coded_field_order == AV_FIELD_UNKNOWN) return;
    // A progressive picture among fields keeps the stream's order, so that the frame headers
    // agree with the container wherever the source itself does.
    bool top_first = picture_is_interlaced(decoded) ? picture_top_field_first(decoded)
                                                    : state->coded_field_order == AV_FIELD_TT;
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(58, 7, 100)
    picture->flags |= AV_FRAME_FLAG_INTERLACED;
    if (top_first) {
        picture->flags |= AV_FRAME_FLAG_TOP_FIELD_FIRST;
    } else {
        picture->flags &= ~AV_FRAME_FLAG_TOP_FIELD_FIRST;
    }
#else
    picture->interlaced_frame = 1;
    picture->top_field_first = top_first;
#endif
}

// FFmpeg's own writers give TB and BT for pictures whose top or bottom field comes first
// (and its raw decoders read them so); the letter first named is the field first shown.
static AVFieldOrder order_of_stream(AVFieldOrder order) {
    switch (order) {
        case AV_FIELD_TT:
        case AV_FIELD_TB: return AV_FIELD_TT;
        case AV_FIELD_BB:
        case AV_FIELD_BT: return AV_FIELD_BB;
        default: return AV_FIELD_UNKNOWN;
    }
}

void settle_field_order(TranscodeState* state) {
    AVFieldOrder order = order_of_stream(state->input_video_stream->codecpar->field_order);
    // The picture's word goes before the stream's: containers may say nothing (raw DV),
    // progressive (MXF, for fields in one frame) or the wrong order.
    const AVFrame* picture = state->first_picture;
    if (picture != nullptr && picture_is_interlaced(picture)) {
        order = picture_top_field_first(picture) ? AV_FIELD_TT : AV_FIELD_BB;
    }
    state->coded_field_order = order;
}
