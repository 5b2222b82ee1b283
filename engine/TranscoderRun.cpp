// Running a job: start/stop/pause, set-up of the stream tables, the packet loop, stream
// copy, decoding, progress reports and the end of the run.
#include "engine/LibraryErrors.h"
#include "engine/OutputNames.h"
#include "engine/StrFormat.h"
#include "engine/TranscodeRun.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace corvina::engine {

namespace {

constexpr AVRational kMicroseconds{1, AV_TIME_BASE};
constexpr float kQp2Lambda = 118;
// Pictures waiting for a video encoder of its own thread: enough to ride out one slow
// picture, few enough to hold little memory.
constexpr size_t kEncodeQueueDepth = 3;
// How many decoded pixels one coded pixel weighs for an encoder that pipelines whole pictures
// on threads of its own: at its default settings the H.264 encoder spends some forty times
// the decoder's time per pixel (a 1080p source coded at 720x480 is three-quarters encoding).
constexpr int64_t kPipelinedEncoderWeight = 16;

int64_t ToMicroseconds(int64_t ts, AVRational tb) {
    return ff::util.av_rescale_q(ts, tb, kMicroseconds);
}

// One frame's duration in µs for a video stream, from its rates.
int64_t VideoFrameDuration(const AVStream* st, const AVCodecContext* dec) {
    AVRational rate = st->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = st->r_frame_rate;
    if ((rate.num <= 0 || rate.den <= 0) && dec)
        rate = dec->framerate;
    if (rate.num <= 0 || rate.den <= 0)
        return 0;
    return ff::util.av_rescale_q(1, av_inv_q(rate), kMicroseconds);
}

// Containers that carry a display matrix keep a copied stream's; the others ignore it.
void CopyDisplayMatrix(const AVStream* from, AVStream* to) {
    size_t size = 0;
    const uint8_t* matrix =
        ff::format.av_stream_get_side_data(from, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size == 0)
        return;
    uint8_t* copy = ff::format.av_stream_new_side_data(to, AV_PKT_DATA_DISPLAYMATRIX, size);
    if (!copy)
        throw ETranscodeError("Could not alloc stream");
    std::memcpy(copy, matrix, size);
}

} // namespace

// ---------------------------------------------------------------- job control

void TCustomTranscoder::RequestStop() {
    stopRequested_ = true;
    Resume(); // a paused job must see the request
}

void TCustomTranscoder::Pause() {
    std::lock_guard lock(pauseMutex_);
    paused_ = true;
}

void TCustomTranscoder::Resume() {
    {
        std::lock_guard lock(pauseMutex_);
        paused_ = false;
    }
    pauseCv_.notify_all();
}

void TCustomTranscoder::WaitIfPaused() {
    std::unique_lock lock(pauseMutex_);
    pauseCv_.wait(lock, [this] { return !paused_ || stopRequested_; });
}

void TCustomTranscoder::Wait() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
    if (terminateThread_.joinable() && terminateThread_.get_id() != std::this_thread::get_id())
        terminateThread_.join();
}

bool TCustomTranscoder::Start(bool useThread, int niceValue) {
    if (running_ || terminated_)
        return false;
    const char* refusal = nullptr;
    if (outputFiles_.empty())
        refusal = "Must supply at least one output file";
    else if (inputFiles_.empty())
        refusal = "Must supply at least one input file";
    if (refusal) {
        ReleaseSettings();
        Log(kLevelEnd, refusal);
        {
            std::lock_guard lock(messageMutex_);
            exceptionMessage_ = refusal;
        }
        exceptionRaised_ = true;
        Terminate();
        return false;
    }
    running_ = true;
    stopRequested_ = false;
    finished_ = false;
    terminated_ = false;
    if (!useThread) {
        RunJob();
        return true;
    }
    worker_ = std::thread([this, niceValue] {
        if (OnThreadStart)
            OnThreadStart();
        // Best effort: a lower priority for this thread only.
        if (niceValue != 0)
            setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), niceValue);
        RunJob();
    });
    return true;
}

void TCustomTranscoder::Cancel() {
    if (running_) {
        RequestStop();
        return;
    }
    if (terminated_ || terminateThread_.joinable())
        return;
    // A job that never started still reports its end, from a thread of its own as a
    // running job would.
    terminateThread_ = std::thread([this] {
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
        Terminate();
    });
}

void TCustomTranscoder::RunJob() {
    finished_ = false;
    try {
        TranscodeRun run(*this);
        run.Execute();
    } catch (const std::exception& e) {
        Log(kLevelEnd, e.what());
        {
            std::lock_guard lock(messageMutex_);
            exceptionMessage_ = e.what();
        }
        exceptionRaised_ = true;
        for (auto& out : outputFiles_)
            out->DeleteOnClose = true;
    }
    ReleaseSettings();
    Terminate();
}

void TCustomTranscoder::Terminate() {
    running_ = false;
    terminated_ = true;
    if (OnTerminate)
        OnTerminate();
}

// ---------------------------------------------------------------- the run

TranscodeRun::TranscodeRun(TCustomTranscoder& job) : job_(job), s_(job.s_) {}

TranscodeRun::~TranscodeRun() {
    CloseCodecs();
}

void TranscodeRun::CloseCodecs() {
    // The stages' threads use the encoders: they end first, outside the codec lock that every
    // other job's opening waits for. Then encoders and decoders, under that lock. The
    // contexts themselves belong to the files; closing here releases the codec state.
    for (OutputStreamState& ost : ost_)
        ost.Stage.reset();
    std::lock_guard lock(CodecLock());
    for (OutputStreamState& ost : ost_)
        if (ost.EncoderOpen) {
            ost.Enc->stats_in = nullptr; // owned by StatsIn
            ost.Setup->Enc.reset();
            ost.Enc = nullptr;
            ost.EncoderOpen = false;
        }
    for (InputStreamState& ist : ist_)
        if (ist.DecoderOpen) {
            InputFile& in = *job_.inputFiles_[ist.File];
            in.Decoders[ist.Index].reset();
            ist.Dec = nullptr;
            ist.DecoderOpen = false;
        }
}

void TranscodeRun::Execute() {
    SetUp();
    PacketLoop();

    // End of run: drain the decoders (and through them the encoders), write trailers.
    for (InputStreamState& ist : ist_)
        if (ist.DecodingNeeded)
            ProcessPacket(ist, nullptr);
    for (auto& out : job_.outputFiles_) {
        const int r = ff::format.av_write_trailer(out->Ctx.get());
        if (r < 0)
            throw ETranscodeError(WriteErrorText(out->FileName, r));
    }
    Report(true); // while the files are still open: their sizes
    // Each complete file gets its final name. One whose folder was removed while it was
    // written left nothing for the user: that is no success. One a stop caught before its
    // first packet holds nothing and is dropped.
    for (auto& out : job_.outputFiles_) {
        if (!out->FileOpened || out->WritePath.empty())
            continue;
        if (job_.stopRequested_ && !AnyPacketWritten(*out->Ctx)) {
            out->DeleteOnClose = true;
            continue;
        }
        ff::format.avio_closep(&out->Ctx->pb);
        out->FileOpened = false;
        struct stat st;
        if (stat(out->WritePath.c_str(), &st) != 0)
            throw ETranscodeError(LibraryErrorText(out->FileName, AVERROR(errno)));
        if (std::rename(out->WritePath.c_str(), PlainPath(out->FileName).c_str()) != 0) {
            const int error = errno;
            std::remove(out->WritePath.c_str());
            throw ETranscodeError(LibraryErrorText(out->FileName, AVERROR(error)));
        }
    }
    CloseCodecs();
    job_.finished_ = !job_.stopRequested_;
}

double TranscodeRun::SyncInputPts(const OutputStreamState& ost) const {
    return static_cast<double>(ist_[ost.SyncInput].Pts - s_.StartTime) / AV_TIME_BASE;
}

void TranscodeRun::SetUp() {
    auto& inputs = job_.inputFiles_;
    auto& outputs = job_.outputFiles_;

    // Input tables.
    for (size_t f = 0; f < inputs.size(); f++) {
        InputFile& in = *inputs[f];
        InputFileState fs;
        fs.FirstStream = static_cast<int>(ist_.size());
        fs.StreamCount = static_cast<int>(in.Ctx->nb_streams);
        files_.push_back(fs);
        for (int i = 0; i < fs.StreamCount; i++) {
            InputStreamState ist;
            ist.File = static_cast<int>(f);
            ist.Index = i;
            ist.St = in.Ctx->streams[i];
            ist.Dec = in.Decoders[i].get();
            ist.Orient = OrientationOfStream(ist.St);
            ist.RateEmulation = in.RateEmulation;
            if (ist.RateEmulation)
                ist.RateStart = ff::util.av_gettime();
            ist_.push_back(std::move(ist));
        }
    }

    // Count the output streams.
    int outputStreamCount = 0;
    for (auto& out : outputs) {
        if (out->Streams.empty())
            throw ETranscodeError("Output file does not contain any stream");
        outputStreamCount += static_cast<int>(out->Streams.size());
    }

    // Stream maps must match the outputs and name existing streams.
    const auto& maps = s_.StreamMaps;
    if (!maps.empty() && static_cast<int>(maps.size()) != outputStreamCount)
        throw ETranscodeError("Number of stream maps must match number of output streams");
    auto exists = [this](int file, int stream) {
        return file >= 0 && file < static_cast<int>(files_.size()) && stream >= 0 &&
               stream < files_[file].StreamCount;
    };
    for (const StreamMap& m : maps) {
        if (!exists(m.File, m.Stream))
            throw ETranscodeError(
                StrFormat("Could not find input stream #%d.%d", m.File, m.Stream));
        if (!exists(m.SyncFile, m.SyncStream))
            throw ETranscodeError(
                StrFormat("Could not find sync stream #%d.%d", m.SyncFile, m.SyncStream));
    }

    // Output tables and the source of every output stream.
    for (size_t f = 0; f < outputs.size(); f++) {
        OutputFile& out = *outputs[f];
        for (size_t i = 0; i < out.Streams.size(); i++) {
            OutputStreamState ost;
            ost.File = static_cast<int>(f);
            ost.Index = static_cast<int>(i);
            ost.Setup = out.Streams[i].get();
            ost.St = ost.Setup->Stream;
            ost.Enc = ost.Setup->Enc.get();
            const AVMediaType type = ost.Enc->codec_type;
            const size_t k = ost_.size();
            int source = -1;
            int sync = -1;
            if (!maps.empty()) {
                const StreamMap& m = maps[k];
                source = files_[m.File].FirstStream + m.Stream;
                sync = files_[m.SyncFile].FirstStream + m.SyncStream;
                if (ist_[source].St->codecpar->codec_type != type) {
                    ff::format.av_dump_format(out.Ctx.get(), ost.File, out.FileName.c_str(), 1);
                    throw ETranscodeError(
                        StrFormat("Codec type mismatch for mapping #%d.%d -> #%d.%d", m.File,
                                  m.Stream, ost.File, ost.Index));
                }
            } else if (s_.ProgramId != 0) {
                for (size_t fi = 0; fi < inputs.size() && source < 0; fi++) {
                    AVFormatContext* ic = inputs[fi]->Ctx.get();
                    for (unsigned p = 0; p < ic->nb_programs && source < 0; p++) {
                        const AVProgram* prog = ic->programs[p];
                        if (prog->id != s_.ProgramId)
                            continue;
                        for (unsigned j = 0; j < prog->nb_stream_indexes; j++) {
                            const int idx =
                                files_[fi].FirstStream + static_cast<int>(prog->stream_index[j]);
                            if (ist_[idx].Discard && ist_[idx].St->codecpar->codec_type == type) {
                                source = idx;
                                break;
                            }
                        }
                    }
                }
            } else {
                int lastOfType = -1;
                for (size_t j = 0; j < ist_.size(); j++) {
                    if (ist_[j].St->codecpar->codec_type != type)
                        continue;
                    lastOfType = static_cast<int>(j);
                    if (ist_[j].Discard) {
                        source = static_cast<int>(j);
                        break;
                    }
                }
                if (source < 0)
                    source = lastOfType;
            }
            if (source < 0) {
                ff::format.av_dump_format(out.Ctx.get(), ost.File, out.FileName.c_str(), 1);
                throw ETranscodeError(
                    StrFormat("Could not find input stream matching output stream #%d.%d", ost.File,
                              ost.Index));
            }
            ost.SourceIndex = source;
            ost.SyncInput = sync >= 0 ? sync : source;
            ist_[source].Discard = false;
            ost_.push_back(std::move(ost));
        }
    }

    // Codec parameters of every output stream.
    for (size_t k = 0; k < ost_.size(); k++) {
        OutputStreamState& ost = ost_[k];
        InputStreamState& ist = ist_[ost.SourceIndex];
        if (!ff::util.av_dict_get(ost.St->metadata, "language", nullptr, 0))
            if (const AVDictionaryEntry* lang =
                    ff::util.av_dict_get(ist.St->metadata, "language", nullptr, 0))
                ff::util.av_dict_set(&ost.St->metadata, "language", lang->value, 0);
        ost.St->disposition = ist.St->disposition;

        if (ost.Setup->StreamCopy) {
            SetUpStreamCopy(ost, ist);
            continue;
        }
        switch (ost.Enc->codec_type) {
        case AVMEDIA_TYPE_AUDIO:
            PrepareAudioEncoding(ost, ist);
            break;
        case AVMEDIA_TYPE_VIDEO:
            PrepareVideoEncoding(ost, ist);
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            break;
        default:
            throw ETranscodeError("invalid codec_type of output stream");
        }
        ost.EncodingNeeded = true;
        ist.DecodingNeeded = true;
        if (ost.Enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))
            OpenTwoPassLog(ost, static_cast<int>(k));
    }
    // (S6: encoders allocate their own packets; no shared output buffer is needed.)

    // Describe the outputs.
    for (size_t f = 0; f < outputs.size(); f++)
        ff::format.av_dump_format(outputs[f]->Ctx.get(), static_cast<int>(f),
                                  outputs[f]->FileName.c_str(), 1);

    // Log the stream mapping.
    if (s_.Verbosity >= 0 && job_.OnLog) {
        job_.Log(kLevelInfo, "Stream mapping:");
        for (const OutputStreamState& ost : ost_) {
            const InputStreamState& src = ist_[ost.SourceIndex];
            job_.LogF(kLevelInfo, "Stream #%d.%d -> #%d.%d", src.File, src.Index, ost.File,
                      ost.Index);
            if (ost.SyncInput != ost.SourceIndex) {
                const InputStreamState& sync = ist_[ost.SyncInput];
                job_.LogF(kLevelInfo, "[sync #%d.%d]", sync.File, sync.Index);
            }
        }
    }

    // Open the encoders; their parameters then describe the output streams.
    for (OutputStreamState& ost : ost_) {
        if (!ost.EncodingNeeded)
            continue;
        OpenEncoder(ost);
        extraSize_ += ost.Enc->extradata_size;
        if (ff::codec.avcodec_parameters_from_context(ost.St->codecpar, ost.Enc) < 0)
            throw ETranscodeError(StrFormat("Error while opening codec for output stream #%d.%d - "
                                            "maybe incorrect parameters such as bit_rate, rate, "
                                            "width or height",
                                            ost.File, ost.Index));
        ost.St->time_base = ost.Enc->time_base;
    }

    // With several threads, each video encoder runs beside the decoding. (Per-picture
    // statistics lines name the picture just handed over, so they keep the encoder here.)
    if (s_.ThreadCount > 1 && s_.VstatsFileName.empty())
        for (OutputStreamState& ost : ost_)
            if (ost.EncodingNeeded && ost.EncoderOpen && ost.Enc->codec_type == AVMEDIA_TYPE_VIDEO)
                ost.Stage = std::make_unique<EncodeStage>(
                    ost.Enc,
                    [this, &ost](AVFrame* src, bool resample, std::string& error) {
                        return ConvertPicture(ost, src, resample, error);
                    },
                    kEncodeQueueDepth);

    // Open the decoders. Beside encoders of their own threads that do as much work as the
    // decoding, a video decoder takes half the threads: more would only take turns with the
    // encoders' (whose slice threads wait for each other on every picture) and cost each
    // picture's hand-over between decoder threads. When the outputs are much smaller and
    // cheap to code, decoding is the work and keeps every thread.
    int64_t codedPixels = 0;
    for (const OutputStreamState& ost : ost_)
        if (ost.Stage)
            codedPixels += int64_t{ost.Enc->width} * ost.Enc->height *
                           (PipelinesPictures(ost.Enc->codec) ? kPipelinedEncoderWeight : 1);
    for (InputStreamState& ist : ist_) {
        if (!ist.DecodingNeeded)
            continue;
        const int64_t decodedPixels = int64_t{ist.Dec->width} * ist.Dec->height;
        if (ist.Dec->codec_type == AVMEDIA_TYPE_VIDEO && codedPixels * 2 > decodedPixels)
            ist.Dec->thread_count = std::max(1, s_.ThreadCount / 2);
        OpenDecoder(ist);
    }

    // Packets of streams no output uses are dropped as soon as they are read; the demuxer
    // can skip them itself (an audio-only output of a film reads no picture data). A packet
    // dump shows every packet, so it keeps them.
    if (!s_.PacketDump)
        for (InputStreamState& ist : ist_)
            if (ist.Discard)
                ist.St->discard = AVDISCARD_ALL;

    // Metadata maps, then the headers.
    for (const MetaDataMap& m : s_.MetaDataMaps) {
        if (m.OutFile < 0 || m.OutFile >= static_cast<int>(outputs.size()))
            throw ETranscodeError(StrFormat("Invalid output file index %d map_meta_data(%d,%d)",
                                            m.OutFile, m.OutFile, m.InFile));
        if (m.InFile < 0 || m.InFile >= static_cast<int>(inputs.size()))
            throw ETranscodeError(StrFormat("Invalid input file index %d map_meta_data(%d,%d)",
                                            m.InFile, m.OutFile, m.InFile));
        static const char* const kKeys[] = {"title", "author", "artist", "copyright", "comment",
                                            "album", "date",   "track",  "genre"};
        AVFormatContext* ic = inputs[m.InFile]->Ctx.get();
        AVFormatContext* oc = outputs[m.OutFile]->Ctx.get();
        for (const char* key : kKeys)
            if (const AVDictionaryEntry* e = ff::util.av_dict_get(ic->metadata, key, nullptr, 0))
                ff::util.av_dict_set(&oc->metadata, key, e->value, 0);
    }
    WriteHeaders();
}

void TranscodeRun::SetUpStreamCopy(OutputStreamState& ost, InputStreamState& ist) {
    AVCodecParameters* par = ost.St->codecpar;
    const AVCodecParameters* ipar = ist.St->codecpar;
    const uint32_t ownTag = ost.Enc->codec_tag;
    if (ff::codec.avcodec_parameters_copy(par, ipar) < 0)
        throw ETranscodeError("Could not alloc stream");
    const AVOutputFormat* ofmt = job_.outputFiles_[ost.File]->Ctx->oformat;
    if (ownTag) {
        par->codec_tag = ownTag;
    } else {
        // Keep the input's tag only where the container agrees with it.
        const auto* const* tags = ofmt->codec_tag;
        const bool keep = !tags ||
                          ff::format.av_codec_get_id(tags, ipar->codec_tag) == ipar->codec_id ||
                          ff::format.av_codec_get_tag(tags, ipar->codec_id) == 0;
        par->codec_tag = keep ? ipar->codec_tag : 0;
    }
    ost.St->time_base = ist.St->time_base;
    switch (par->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        if (job_.OnCustomHookAssigned())
            throw ETranscodeError(
                "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
        if (!job_.videoHooks_.Empty())
            throw ETranscodeError(
                "-vcodec copy and -vhook are incompatible (frames are not decoded)");
        ost.St->sample_aspect_ratio = ist.St->sample_aspect_ratio;
        ost.St->avg_frame_rate = ist.St->avg_frame_rate;
        CopyDisplayMatrix(ist.St, ost.St); // the pictures stay stored as they were
        ost.St->r_frame_rate = ist.St->r_frame_rate;
        break;
    case AVMEDIA_TYPE_AUDIO:
        if (s_.AudioVolume != 256)
            throw ETranscodeError(
                "-acodec copy and -vol are incompatible (frames are not decoded)");
        if (par->block_align == 1 &&
            (par->codec_id == AV_CODEC_ID_MP3 || par->codec_id == AV_CODEC_ID_AC3))
            par->block_align = 0;
        break;
    case AVMEDIA_TYPE_SUBTITLE:
    case AVMEDIA_TYPE_DATA:
    case AVMEDIA_TYPE_ATTACHMENT:
        break;
    default:
        throw ETranscodeError("invalid codec_type of output stream");
    }
}

void TranscodeRun::OpenTwoPassLog(OutputStreamState& ost, int globalIndex) {
    std::string name =
        (s_.PassLogFileName.empty() ? std::string("ffmpeg2pass") : s_.PassLogFileName) + "-" +
        std::to_string(globalIndex) + ".log";
    if (name.size() > 1023)
        name.resize(1023);
    if (ost.Enc->flags & AV_CODEC_FLAG_PASS1) {
        ost.LogFile.reset(std::fopen(name.c_str(), "w"));
        if (!ost.LogFile)
            throw ETranscodeError("creat file fail: " + name);
        return;
    }
    ff::FilePtr f(std::fopen(name.c_str(), "rb"));
    if (!f)
        throw ETranscodeError("creat open fail: " + name);
    std::fseek(f.get(), 0, SEEK_END);
    const long size = std::ftell(f.get());
    std::fseek(f.get(), 0, SEEK_SET);
    if (size < 0)
        throw ETranscodeError("creat open fail: " + name);
    ost.StatsIn.reset(static_cast<char*>(ff::util.av_malloc(static_cast<size_t>(size) + 1)));
    if (!ost.StatsIn)
        throw ETranscodeError("Could not allocate log buffer");
    const size_t got = std::fread(ost.StatsIn.get(), 1, static_cast<size_t>(size), f.get());
    ost.StatsIn.get()[got] = '\0';
    ost.Enc->stats_in = ost.StatsIn.get();
}

void TranscodeRun::OpenDecoder(InputStreamState& ist) {
    const AVCodec* codec = ff::codec.avcodec_find_decoder(ist.St->codecpar->codec_id);
    if (!codec || !ist.Dec)
        throw ETranscodeError(StrFormat("Unsupported codec (id=%d) for input stream #%d.%d",
                                        static_cast<int>(ist.St->codecpar->codec_id), ist.File,
                                        ist.Index));
    std::lock_guard lock(CodecLock());
    if (ff::codec.avcodec_open2(ist.Dec, codec, nullptr) < 0)
        throw ETranscodeError(
            StrFormat("Error while opening codec for input stream #%d.%d", ist.File, ist.Index));
    ist.DecoderOpen = true;
}

void TranscodeRun::WriteHeaders() {
    auto& outputs = job_.outputFiles_;
    for (size_t f = 0; f < outputs.size(); f++) {
        OutputFile& out = *outputs[f];
        // An output whose file could not be opened stays in the table (OpenOutput failed
        // after counting it); the library would write its header through a missing file.
        if (!(out.Ctx->oformat->flags & AVFMT_NOFILE) && !out.Ctx->pb)
            throw ETranscodeError(StrFormat("Could not open '%s'", out.FileName.c_str()));
        ff::Dictionary options;
        ff::util.av_dict_copy(options.Address(), out.MuxerOptions.Raw(), 0);
        if (ff::format.avformat_write_header(out.Ctx.get(), options.Address()) < 0)
            throw ETranscodeError(StrFormat(
                "Could not write header for output file #%d (incorrect codec parameters ?)",
                static_cast<int>(f)));
    }
    bool allRtp = !outputs.empty();
    for (auto& out : outputs)
        allRtp = allRtp && std::strcmp(out->Ctx->oformat->name, "rtp") == 0;
    if (allRtp && job_.OnLog) {
        std::vector<AVFormatContext*> contexts;
        for (auto& out : outputs)
            contexts.push_back(out->Ctx.get());
        char sdp[2048];
        ff::format.av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp,
                                 sizeof sdp);
        std::string text(sdp);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
            text.pop_back();
        job_.Log(kLevelInfo, "SDP: " + text);
    }
}

// ---------------------------------------------------------------- packet loop

void TranscodeRun::PacketLoop() {
    timerStart_ = ff::util.av_gettime();
    int64_t lastReport = timerStart_;
    ff::PacketPtr pkt = ff::MakePacket();
    if (!pkt)
        throw ETranscodeError("av_malloc fail");

    while (!job_.stopRequested_) {
        job_.WaitIfPaused();
        if (job_.stopRequested_)
            break;

        // The file whose output lags most.
        int fileIndex = -1;
        double iptsMin = 1e100, optsMin = 1e100;
        bool limitReached = false;
        for (const OutputStreamState& ost : ost_) {
            const InputStreamState& ist = ist_[ost.SourceIndex];
            const AVMediaType type = ost.Enc ? ost.Enc->codec_type : ost.St->codecpar->codec_type;
            const double opts = (ost.EncodingNeeded && type == AVMEDIA_TYPE_VIDEO)
                                    ? ost.SyncOpts * av_q2d(ost.Enc->time_base)
                                    : ost.CurrentPts * av_q2d(ost.St->time_base);
            const double ipts = static_cast<double>(ist.Pts);
            if (!files_[ist.File].EofReached) {
                if (s_.InputSync ? ipts < iptsMin : opts < optsMin) {
                    iptsMin = ipts;
                    optsMin = opts;
                    fileIndex = ist.File;
                }
            }
            if (type >= 0 && type <= AVMEDIA_TYPE_SUBTITLE && ost.FrameNumber >= s_.MaxFrames[type])
                limitReached = true;
        }
        if (limitReached)
            break;

        // The three limits.
        if (fileIndex < 0)
            break;
        if (static_cast<double>(s_.RecordingTime) / AV_TIME_BASE <= optsMin)
            break;
        if (s_.FileSizeLimit != 0) {
            AVIOContext* pb = job_.outputFiles_[0]->Ctx->pb;
            if (pb && ff::format.avio_seek(pb, 0, SEEK_CUR) > s_.FileSizeLimit)
                break;
        }

        // Read its next packet.
        InputFile& in = *job_.inputFiles_[fileIndex];
        if (ff::format.av_read_frame(in.Ctx.get(), pkt.get()) < 0) {
            files_[fileIndex].EofReached = true;
            if (s_.Shortest)
                break;
            continue;
        }

        // Packet dump, when asked for.
        if (s_.PacketDump && pkt->stream_index < files_[fileIndex].StreamCount)
            ff::format.av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt.get(), s_.HexDump,
                                        in.Ctx->streams[pkt->stream_index]);

        // Streams added after opening, and streams nobody uses.
        if (pkt->stream_index >= files_[fileIndex].StreamCount) {
            ff::codec.av_packet_unref(pkt.get());
            continue;
        }
        InputStreamState& ist = ist_[files_[fileIndex].FirstStream + pkt->stream_index];
        if (ist.Discard) {
            ff::codec.av_packet_unref(pkt.get());
            continue;
        }

        // Offset and scale.
        const AVRational tb = ist.St->time_base;
        if (in.TsOffset != 0) {
            const int64_t offset = ff::util.av_rescale_q(in.TsOffset, kMicroseconds, tb);
            if (pkt->dts != AV_NOPTS_VALUE)
                pkt->dts += offset;
            if (pkt->pts != AV_NOPTS_VALUE)
                pkt->pts += offset;
        }
        if (ist.Index < kMaxStreams && fileIndex < kMaxFiles) {
            const double scale = s_.InputTsScale[fileIndex][ist.Index];
            if (scale != 0) {
                if (pkt->dts != AV_NOPTS_VALUE)
                    pkt->dts = std::llround(static_cast<double>(pkt->dts) * scale);
                if (pkt->pts != AV_NOPTS_VALUE)
                    pkt->pts = std::llround(static_cast<double>(pkt->pts) * scale);
            }
        }

        // Discontinuities.
        if (pkt->dts != AV_NOPTS_VALUE && ist.NextPts != AV_NOPTS_VALUE && !s_.CopyTs) {
            const int64_t dtsUs = ToMicroseconds(pkt->dts, tb);
            const int64_t delta = dtsUs - ist.NextPts;
            if (std::llabs(delta) > static_cast<int64_t>(s_.DtsDeltaThreshold * AV_TIME_BASE) ||
                dtsUs + 1 < ist.Pts) {
                in.TsOffset -= delta;
                if (s_.Verbosity >= 3)
                    job_.LogF(kLevelInfo,
                              "timestamp discontinuity %" PRId64 ", new offset= %" PRId64, delta,
                              in.TsOffset);
                const int64_t d = ff::util.av_rescale_q(delta, kMicroseconds, tb);
                pkt->dts -= d;
                if (pkt->pts != AV_NOPTS_VALUE)
                    pkt->pts -= d;
            }
        }

        // Decode, convert, encode, write.
        if (!ProcessPacket(ist, pkt.get()) && s_.Verbosity >= 0)
            job_.LogF(kLevelInfo, "Error while decoding stream #%d.%d", ist.File, ist.Index);

        // Free the packet; report progress now and then.
        ff::codec.av_packet_unref(pkt.get());
        const int64_t now = ff::util.av_gettime();
        if (now - lastReport >= job_.ProgressInterval) {
            Report(false);
            lastReport = now;
        }
    }
}

void TranscodeRun::RateEmulate(InputStreamState& ist) {
    if (!ist.RateEmulation)
        return;
    AVRational rate = ist.St->avg_frame_rate;
    int64_t target;
    if (ist.St->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && rate.num > 0)
        target = ff::util.av_rescale_q(ist.FrameCounter, av_inv_q(rate), kMicroseconds);
    else
        target = ist.Pts;
    const int64_t elapsed = ff::util.av_gettime() - ist.RateStart;
    if (target - elapsed > 50000)
        std::this_thread::sleep_for(std::chrono::microseconds(target - elapsed));
    ist.FrameCounter++;
}

bool TranscodeRun::ProcessPacket(InputStreamState& ist, const AVPacket* pkt) {
    const AVRational tb = ist.St->time_base;
    const AVMediaType type = ist.St->codecpar->codec_type;
    const int index = static_cast<int>(&ist - ist_.data());

    // Where the stream stands in time.
    if (pkt && pkt->dts != AV_NOPTS_VALUE)
        ist.NextPts = ist.Pts = ToMicroseconds(pkt->dts, tb);
    else if (!pkt && ist.NextPts != AV_NOPTS_VALUE)
        ist.Pts = ist.NextPts;

    // Stream copies of this input get the packet as it is.
    if (pkt) {
        if (!ist.DecodingNeeded) {
            if (ist.NextPts == AV_NOPTS_VALUE)
                ist.NextPts = 0;
            ist.Pts = ist.NextPts;
            int64_t step = 0;
            if (pkt->duration > 0)
                step = ToMicroseconds(pkt->duration, tb);
            else if (type == AVMEDIA_TYPE_AUDIO && ist.St->codecpar->sample_rate > 0)
                step = static_cast<int64_t>(ist.St->codecpar->frame_size) * AV_TIME_BASE /
                       ist.St->codecpar->sample_rate;
            else if (type == AVMEDIA_TYPE_VIDEO)
                step = VideoFrameDuration(ist.St, ist.Dec);
            ist.NextPts += step;
            RateEmulate(ist);
        }
        if (s_.StartTime == 0 || ist.Pts >= s_.StartTime)
            for (OutputStreamState& ost : ost_)
                if (ost.SourceIndex == index && !ost.EncodingNeeded)
                    CopyPacket(ost, ist, *pkt);
    }
    if (!ist.DecodingNeeded)
        return true;

    // Decoding.
    if (type == AVMEDIA_TYPE_SUBTITLE) {
        if (!pkt)
            return true; // nothing is held back by subtitle decoders we use
        AVSubtitle sub{};
        int got = 0;
        if (ff::codec.avcodec_decode_subtitle2(ist.Dec, &sub, &got, const_cast<AVPacket*>(pkt)) < 0)
            return false;
        if (got) {
            HandleSubtitle(ist, sub);
            ff::codec.avsubtitle_free(&sub);
        }
        return true;
    }
    if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO)
        return true;

    int r = ff::codec.avcodec_send_packet(ist.Dec, pkt);
    if (r < 0 && r != AVERROR_EOF && r != AVERROR(EAGAIN))
        return false;
    if (!decodedFrame_) {
        decodedFrame_ = ff::MakeFrame();
        if (!decodedFrame_)
            throw ETranscodeError("av_malloc fail");
    }
    AVFrame* frame = decodedFrame_.get();
    int frames = 0;
    bool ok = true;
    for (;;) {
        r = ff::codec.avcodec_receive_frame(ist.Dec, frame);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            break;
        if (r < 0) {
            ok = false;
            break;
        }
        if (++frames > 1 && pkt && s_.Verbosity > 0 && type == AVMEDIA_TYPE_VIDEO)
            job_.LogF(kLevelError, "Multiple frames in a packet from stream %d", ist.Index);
        if (ist.NextPts == AV_NOPTS_VALUE)
            ist.NextPts = frame->best_effort_timestamp != AV_NOPTS_VALUE
                              ? ToMicroseconds(frame->best_effort_timestamp, tb)
                              : 0;
        // A picture is timed by its own timestamp: a decoder with frame threads, or one that
        // reorders, hands it out packets after the one that carried it.
        if (type == AVMEDIA_TYPE_VIDEO && frame->best_effort_timestamp != AV_NOPTS_VALUE)
            ist.NextPts = ToMicroseconds(frame->best_effort_timestamp, tb);
        ist.Pts = ist.NextPts;
        if (type == AVMEDIA_TYPE_AUDIO) {
            if (frame->sample_rate > 0)
                ist.NextPts +=
                    static_cast<int64_t>(frame->nb_samples) * AV_TIME_BASE / frame->sample_rate;
        } else {
            const int64_t step = VideoFrameDuration(ist.St, ist.Dec);
            ist.NextPts += step > 0 ? step : ToMicroseconds(frame->pkt_duration, tb);
        }
        RateEmulate(ist);
        HandleDecodedFrame(ist, frame);
        ff::util.av_frame_unref(frame);
        if (job_.stopRequested_ && pkt)
            break;
    }

    // At the end of the input, drain every encoder it feeds.
    if (!pkt)
        for (OutputStreamState& ost : ost_)
            if (ost.SourceIndex == index && ost.EncodingNeeded)
                FlushEncoder(ost);
    return ok;
}

void TranscodeRun::HandleDecodedFrame(InputStreamState& ist, AVFrame* frame) {
    // Every decoded picture is turned upright and passes the frame hooks once, however many
    // outputs take it.
    if (ist.Dec->codec_type == AVMEDIA_TYPE_VIDEO) {
        frame = TurnUpright(ist, frame);
        if (!frame)
            return;
        frame = PreProcessVideoFrame(ist, frame);
    }
    if (s_.StartTime != 0 && ist.Pts < s_.StartTime)
        return;
    const int index = static_cast<int>(&ist - ist_.data());
    if (ist.Dec->codec_type == AVMEDIA_TYPE_AUDIO) {
        DecodedAudioToS16(ist, frame, audioS16_);
        if (s_.AudioVolume != 256)
            ApplyVolume(reinterpret_cast<int16_t*>(audioS16_.data()), audioS16_.size() / 2,
                        s_.AudioVolume);
        for (OutputStreamState& ost : ost_)
            if (ost.SourceIndex == index && ost.EncodingNeeded)
                DoAudioOut(ost, ist, audioS16_.data(), static_cast<int>(audioS16_.size()));
        return;
    }
    ist.Quality = static_cast<float>(frame->quality);
    for (OutputStreamState& ost : ost_)
        if (ost.SourceIndex == index && ost.EncodingNeeded)
            DoVideoOut(ost, ist, frame);
}

void TranscodeRun::HandleSubtitle(InputStreamState& ist, AVSubtitle& sub) {
    if (s_.StartTime != 0 && ist.Pts < s_.StartTime)
        return;
    const int index = static_cast<int>(&ist - ist_.data());
    const int64_t pts = sub.pts != AV_NOPTS_VALUE ? ist.Pts : AV_NOPTS_VALUE;
    for (OutputStreamState& ost : ost_)
        if (ost.SourceIndex == index && ost.EncodingNeeded)
            DoSubtitleOut(ost, ist, sub, pts);
}

void TranscodeRun::CopyPacket(OutputStreamState& ost, InputStreamState& ist, const AVPacket& pkt) {
    // A copy starts at a key frame, so that the output decodes from its first packet.
    if (!ost.WroteFirstPacket && !(pkt.flags & AV_PKT_FLAG_KEY))
        return;
    const AVMediaType type = ost.St->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO)
        audioSize_ += pkt.size;
    else if (type == AVMEDIA_TYPE_VIDEO)
        videoSize_ += pkt.size;

    ff::PacketPtr opkt(ff::codec.av_packet_clone(&pkt));
    if (!opkt)
        throw ETranscodeError("av_malloc fail");
    const AVRational itb = ist.St->time_base;
    const AVRational otb = ost.St->time_base;
    opkt->pts =
        pkt.pts != AV_NOPTS_VALUE ? ff::util.av_rescale_q(pkt.pts, itb, otb) : AV_NOPTS_VALUE;
    opkt->dts = pkt.dts != AV_NOPTS_VALUE ? ff::util.av_rescale_q(pkt.dts, itb, otb)
                                          : ff::util.av_rescale_q(ist.Pts, kMicroseconds, otb);
    opkt->duration = ff::util.av_rescale_q(pkt.duration, itb, otb);
    WritePacket(ost, opkt.get());
    ost.WroteFirstPacket = true;
    ost.FrameNumber++;
}

void TranscodeRun::WritePacket(OutputStreamState& ost, AVPacket* pkt) {
    pkt->stream_index = ost.Index;
    const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (ts != AV_NOPTS_VALUE)
        ost.CurrentPts = std::max(ost.CurrentPts, ts + std::max<int64_t>(pkt->duration, 0));
    ost.WroteFirstPacket = true;
    // The muxer takes the packet's reference.
    const int r =
        ff::format.av_interleaved_write_frame(job_.outputFiles_[ost.File]->Ctx.get(), pkt);
    if (r < 0)
        throw ETranscodeError(WriteErrorText("av_interleaved_write_frame()", r));
}

// ---------------------------------------------------------------- report

void TranscodeRun::Report(bool final) {
    OutputFile& first = *job_.outputFiles_[0];
    int64_t totalSize = 0;
    if (AVIOContext* pb = first.Ctx->pb) {
        totalSize = ff::format.avio_size(pb);
        if (totalSize < 0)
            totalSize = ff::format.avio_seek(pb, 0, SEEK_CUR);
    }
    std::string text;
    const double elapsed = static_cast<double>(ff::util.av_gettime() - timerStart_) / AV_TIME_BASE;
    int frameNumber = -1, fps = 0;
    float quality = 0;
    bool firstVideo = true;
    for (OutputStreamState& ost : ost_) {
        if (ost.St->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        const float q = ost.EncodingNeeded ? ost.LastQuality / kQp2Lambda : -1.0f;
        if (!firstVideo) {
            text += StrFormat("q=%2.1f ", q);
            continue;
        }
        firstVideo = false;
        if (ost.FrameNumber < 1)
            return; // nothing to tell before the first picture
        frameNumber = static_cast<int>(ost.FrameNumber);
        fps = elapsed > 1 ? static_cast<int>(static_cast<double>(frameNumber) / elapsed + 0.5) : 0;
        quality = q;
        text += StrFormat("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, q);
        if (final)
            text += "L";
        if (s_.QpHistogram) {
            const int qp = static_cast<int>(std::lround(q));
            if (qp >= 0 && qp < 52)
                qpHistogram_[qp]++;
            for (int j = 0; j < 32; j++)
                text += StrFormat("%X", static_cast<int>(std::log2(qpHistogram_[j] + 1)));
        }
    }

    double time = 1e10;
    for (const OutputStreamState& ost : ost_) {
        const AVMediaType type = ost.St->codecpar->codec_type;
        const double pos = (ost.EncodingNeeded && type == AVMEDIA_TYPE_VIDEO)
                               ? ost.SyncOpts * av_q2d(ost.Enc->time_base)
                               : ost.CurrentPts * av_q2d(ost.St->time_base);
        if (pos > 0 && pos < time)
            time = pos;
    }
    if (time >= 1e10)
        time = 0;
    if (time < 0.01)
        time = 0.01;

    if (job_.OnProgress || s_.Verbosity > 0 || final) {
        const double bitrate = static_cast<double>(totalSize) * 8 / time / 1000;
        text += StrFormat("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s",
                          static_cast<double>(totalSize) / 1024, time, bitrate);
        if (s_.Verbosity > 1)
            text += StrFormat(" dup=%d drop=%d", framesDup_, framesDrop_);
        if (job_.OnProgress) {
            ProgressInfo info;
            info.FrameNumber = frameNumber;
            info.DurationMs = s_.DurationMs;
            info.TotalSize = totalSize;
            info.Bitrate = static_cast<float>(bitrate);
            info.Quality = quality;
            info.TimeMs = static_cast<int>(time * 1000);
            info.Fps = fps;
            job_.OnProgress(info);
        } else if (s_.Verbosity >= 0) {
            job_.Log(kLevelInfo, text);
        }
    }
    if (final && s_.Verbosity >= 0 && job_.OnLog) {
        const double raw = static_cast<double>(videoSize_ + audioSize_ + extraSize_);
        job_.LogF(kLevelInfo,
                  "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                  static_cast<double>(videoSize_) / 1024, static_cast<double>(audioSize_) / 1024,
                  static_cast<double>(extraSize_) / 1024,
                  raw > 0 ? (static_cast<double>(totalSize) - raw) * 100 / raw : 0.0);
    }
}

} // namespace corvina::engine
