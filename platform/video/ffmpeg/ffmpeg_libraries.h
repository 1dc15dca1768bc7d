#pragma once

// FFmpeg's libraries, loaded when a program first opens a clip or a song
// they decode. Each is loaded by the name of the version its headers here
// are of.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/macros.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/dynlib/system_library.h"

namespace zv::platform {

#define ZV_AVFORMAT_FUNCTIONS(X)                                                                         \
  X(av_demuxer_iterate) X(av_find_best_stream) X(av_guess_frame_rate) X(av_read_frame) X(av_seek_frame) \
  X(avformat_close_input) X(avformat_find_stream_info) X(avformat_open_input)
ZV_SYSTEM_LIBRARY(AvFormatLibrary, AvFormat, "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
                  ZV_AVFORMAT_FUNCTIONS)

#define ZV_AVCODEC_FUNCTIONS(X)                                                                              \
  X(av_packet_alloc) X(av_packet_free) X(av_packet_unref) X(avcodec_alloc_context3) X(avcodec_flush_buffers) \
  X(avcodec_free_context) X(avcodec_open2) X(avcodec_parameters_to_context) X(avcodec_receive_frame)         \
  X(avcodec_send_packet)
ZV_SYSTEM_LIBRARY(AvCodecLibrary, AvCodec, "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
                  ZV_AVCODEC_FUNCTIONS)

#define ZV_AVUTIL_FUNCTIONS(X)                                                                             \
  X(av_channel_layout_check) X(av_channel_layout_compare) X(av_channel_layout_copy)                        \
  X(av_channel_layout_default) X(av_channel_layout_uninit) X(av_dict_free) X(av_dict_set) X(av_frame_alloc) \
  X(av_frame_free) X(av_frame_move_ref) X(av_frame_unref) X(av_log_set_level) X(av_reduce) X(av_rescale)    \
  X(av_rescale_q)
ZV_SYSTEM_LIBRARY(AvUtilLibrary, AvUtil, "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR), ZV_AVUTIL_FUNCTIONS)

#define ZV_SWRESAMPLE_FUNCTIONS(X) \
  X(swr_alloc_set_opts2) X(swr_convert) X(swr_free) X(swr_get_out_samples) X(swr_init)
ZV_SYSTEM_LIBRARY(SwResampleLibrary, SwResample, "libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR),
                  ZV_SWRESAMPLE_FUNCTIONS)

#define ZV_SWSCALE_FUNCTIONS(X) X(sws_freeContext) X(sws_getCachedContext) X(sws_scale)
ZV_SYSTEM_LIBRARY(SwScaleLibrary, SwScale, "libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR),
                  ZV_SWSCALE_FUNCTIONS)

}  // namespace zv::platform
