#include "driver/scaler.h"

#include <cstdio>

#include "driver/status_line.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

static bool same_source(const ScalerSource& first, const ScalerSource& second) {
    return first.width == second.width && first.height == second.height && first.format == second.format &&
           first.colour_range == second.colour_range && first.colour_space == second.colour_space;
}

// Where a YUV picture says which matrix and range it uses, the scaler is told; where it
// says nothing, the scaler keeps its defaults. RGB sources have nothing to tell. A YUV
// destination keeps the source's matrix: told two different ones, the scaler would
// convert between them instead of keeping the YUV values.
static void tell_source_colours(SwsContext* scaler, const AVFrame* frame, AVPixelFormat destination) {
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    if (format == nullptr || (format->flags & AV_PIX_FMT_FLAG_RGB)) return;
    int* inverse_table = nullptr;
    int* table = nullptr;
    int source_range = 0, destination_range = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(scaler, &inverse_table, &source_range, &table, &destination_range,
                                 &brightness, &contrast, &saturation) < 0) {
        return;
    }
    bool told = false;
    if (frame->colorspace != AVCOL_SPC_UNSPECIFIED && frame->colorspace != AVCOL_SPC_RGB) {
        inverse_table = const_cast<int*>(sws_getCoefficients(frame->colorspace));
        const AVPixFmtDescriptor* output = av_pix_fmt_desc_get(destination);
        if (output != nullptr && !(output->flags & AV_PIX_FMT_FLAG_RGB)) table = inverse_table;
        told = true;
    }
    if (frame->color_range != AVCOL_RANGE_UNSPECIFIED) {
        source_range = frame->color_range == AVCOL_RANGE_JPEG;
        told = true;
    }
    if (told) {
        sws_setColorspaceDetails(scaler, inverse_table, source_range, table, destination_range, brightness,
                                 contrast, saturation);
    }
}

int scale_frame(SwsContext* scaler, AVFrame* destination, const AVFrame* frame) {
    int status = sws_scale_frame(scaler, destination, frame);
    if (status < 0) {
        print_beside_status_line(CONSOLE_MESSAGE, "Error, could not convert the picture: %d\n", status);
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not convert the picture: %d\n", status);
    }
    return status;
}

SwsContext* scaler_for_frame(SwsContext** scaler, ScalerSource* made_for, const AVFrame* frame, int width,
                             int height, AVPixelFormat format, int threads) {
    ScalerSource source{frame->width, frame->height, frame->format, frame->color_range, frame->colorspace};
    if (*scaler != nullptr && same_source(*made_for, source)) return *scaler;
    sws_freeContext(*scaler);
    *scaler = sws_alloc_context();
    if (*scaler != nullptr) {
        // The scaler's own slice threads give the same pictures, sooner.
        av_opt_set_int(*scaler, "srcw", frame->width, 0);
        av_opt_set_int(*scaler, "srch", frame->height, 0);
        av_opt_set_int(*scaler, "src_format", frame->format, 0);
        av_opt_set_int(*scaler, "dstw", width, 0);
        av_opt_set_int(*scaler, "dsth", height, 0);
        av_opt_set_int(*scaler, "dst_format", format, 0);
        av_opt_set_int(*scaler, "sws_flags", SWS_BICUBIC, 0);
        av_opt_set_int(*scaler, "threads", threads, 0);
        if (sws_init_context(*scaler, nullptr, nullptr) < 0) {
            sws_freeContext(*scaler);
            *scaler = nullptr;
        }
    }
    if (*scaler == nullptr) {
        print_beside_status_line(CONSOLE_MESSAGE, "Error, could not initialize the conversion context\n");
        av_log(nullptr, AV_LOG_DEBUG, "Error, could not initialize the conversion context\n");
        return nullptr;
    }
    tell_source_colours(*scaler, frame, format);
    *made_for = source;
    return *scaler;
}
