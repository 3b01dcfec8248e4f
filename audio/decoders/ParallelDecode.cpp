#include "audio/decoders/ParallelDecode.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

namespace tarvel::audio {

namespace {

// Long enough that restarting a decoder a little before each segment (an MPEG layer 3 seek
// decodes a dozen frames it throws away) costs about a percent, short enough that the reader
// waits little for the first one.
constexpr double kSegmentSeconds = 20.0;
// Segments in flight per helper: one being decoded, one done and waiting for the reader.
constexpr std::size_t kSlotsPerHelper = 2;
// The samples held at once, whatever the number of helpers and the format.
constexpr std::uint64_t kMaxBufferBytes = std::uint64_t{32} << 20;
constexpr unsigned kMaxThreads = 8;
// Frames decoded between two looks at the stop flag.
constexpr std::size_t kChunkFrames = 4096;
constexpr std::chrono::milliseconds kWaitStep{50};
// The first helper decodes at the priority the reader has, as the reader itself would; the
// others take cores nobody else wants: against a thread at the usual priority (the render
// thread, the user interface, another program) they get a tenth of a core.
constexpr int kSpareHelperNice = 10;

void LowerThisThreadsPriority() {
    // On Linux the nice value belongs to the thread named by its id.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kSpareHelperNice);
}

}  // namespace

ParallelDecoder::ParallelDecoder(std::vector<std::unique_ptr<Decoder>> decoders,
                                 std::uint64_t start, ParallelSettings settings)
    : rate_(decoders.front()->rate()),
      channels_(decoders.front()->channels()),
      length_(decoders.front()->lengthFrames()),
      kind_(decoders.front()->kind()),
      segmentFrames_(std::max<std::uint64_t>(1, settings.segmentFrames)),
      slots_(std::max<std::size_t>(1, settings.slots)) {
    for (auto& d : decoders) {
        helpers_.push_back(Helper{std::move(d), 0});
    }
    helpers_.front().position = start;
    const std::uint64_t slotFrames = std::min(segmentFrames_, length_);
    for (Slot& slot : slots_) {
        slot.samples.resize(static_cast<std::size_t>(slotFrames) * channels_);
    }
    this->start(std::min(start, length_));
}

ParallelDecoder::~ParallelDecoder() {
    stop();
}

void ParallelDecoder::start(std::uint64_t frame) {
    begin_ = frame;
    segments_ = (length_ - frame + segmentFrames_ - 1) / segmentFrames_;
    claimNext_ = 0;
    reading_ = 0;
    readAt_ = 0;
    ended_ = false;
    for (Slot& slot : slots_) {
        slot.state = SlotState::Free;
    }
    stopping_ = false;
    threads_.reserve(helpers_.size());
    for (Helper& helper : helpers_) {
        try {
            threads_.emplace_back([this, &helper] { run(helper); });
        } catch (const std::system_error&) {
            break;  // the helpers started so far do the work; with none the reader does it
        }
    }
}

void ParallelDecoder::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    threads_.clear();  // joins
}

void ParallelDecoder::run(Helper& helper) {
    if (&helper != &helpers_.front()) {
        LowerThisThreadsPriority();
    }
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] {
            return stopping_ || claimNext_ >= segments_ || claimNext_ < reading_ + slots_.size();
        });
        if (stopping_ || claimNext_ >= segments_) {
            return;
        }
        const std::uint64_t segment = claimNext_++;
        Slot& slot = slots_[segment % slots_.size()];
        slot.segment = segment;
        slot.state = SlotState::Decoding;
        lock.unlock();
        const bool whole = decode(helper, segment, slot);
        lock.lock();
        slot.whole = whole;
        slot.state = SlotState::Done;
        if (!whole) {
            // The source ends in this segment: nothing after it is wanted.
            segments_ = std::min(segments_, segment + 1);
        }
        changed_.notify_all();
    }
}

bool ParallelDecoder::decode(Helper& helper, std::uint64_t segment, Slot& slot) {
    const std::uint64_t first = segmentFirst(segment);
    const auto count = static_cast<std::size_t>(std::min(segmentFrames_, length_ - first));
    slot.frames = 0;
    if (helper.position != first) {
        if (!helper.decoder->seek(first)) {
            return false;
        }
        helper.position = first;
    }
    std::size_t done = 0;
    while (done < count && !stopping_.load(std::memory_order_relaxed)) {
        const ReadResult r = helper.decoder->read(slot.samples.data() + done * channels_,
                                                  std::min(kChunkFrames, count - done));
        if (r.wouldBlock()) {
            helper.decoder->waitForData(kWaitStep);
            continue;
        }
        if (r.frames() == 0) {
            break;
        }
        done += r.frames();
        helper.position += r.frames();
    }
    slot.frames = done;
    return done == count;
}

ReadResult ParallelDecoder::read(std::int16_t* out, std::size_t frames) {
    std::size_t done = 0;
    while (done < frames && !ended_) {
        std::unique_lock lock(mutex_);
        if (reading_ >= segments_) {
            ended_ = true;
            break;
        }
        Slot& slot = slots_[reading_ % slots_.size()];
        if (threads_.empty() && claimNext_ == reading_) {
            // No helper could be started: decode the segment here.
            slot.segment = claimNext_++;
            lock.unlock();
            slot.whole = decode(helpers_.front(), slot.segment, slot);
            lock.lock();
            slot.state = SlotState::Done;
        }
        changed_.wait(lock,
                      [&] { return slot.segment == reading_ && slot.state == SlotState::Done; });
        lock.unlock();
        // Done and not yet passed: no helper touches the slot now.
        const std::size_t n = std::min(frames - done, slot.frames - readAt_);
        std::copy_n(slot.samples.begin() + static_cast<std::ptrdiff_t>(readAt_ * channels_),
                    n * channels_, out + done * channels_);
        readAt_ += n;
        done += n;
        if (readAt_ < slot.frames) {
            continue;
        }
        if (!slot.whole) {
            ended_ = true;
            break;
        }
        lock.lock();
        slot.state = SlotState::Free;
        ++reading_;
        readAt_ = 0;
        lock.unlock();
        changed_.notify_all();
    }
    return ReadResult::Got(done);
}

bool ParallelDecoder::seek(std::uint64_t frame) {
    if (frame > length_) {
        return false;
    }
    stop();
    start(frame);
    return true;
}

unsigned DecodeAheadThreads() {
    cpu_set_t set;
    CPU_ZERO(&set);
    unsigned cores = std::thread::hardware_concurrency();
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        cores = static_cast<unsigned>(CPU_COUNT(&set));
    }
    return std::clamp(cores, 1U, kMaxThreads);
}

std::unique_ptr<Decoder> DecodeAhead(std::unique_ptr<Decoder>& decoder, std::uint64_t position,
                                     unsigned threads) {
    if (!decoder) {
        return nullptr;
    }
    const std::uint64_t frameBytes = std::uint64_t{decoder->channels()} * sizeof(std::int16_t);
    ParallelSettings settings;
    settings.slots = std::max<std::size_t>(1, threads) * kSlotsPerHelper;
    settings.segmentFrames = static_cast<std::uint64_t>(kSegmentSeconds * decoder->rate());
    const std::uint64_t bufferFrames = kMaxBufferBytes / std::max<std::uint64_t>(1, frameBytes);
    settings.segmentFrames = std::clamp<std::uint64_t>(
        settings.segmentFrames, 1, std::max<std::uint64_t>(1, bufferFrames / settings.slots));
    return DecodeAhead(decoder, position, threads, settings);
}

std::unique_ptr<Decoder> DecodeAhead(std::unique_ptr<Decoder>& decoder, std::uint64_t position,
                                     unsigned threads, ParallelSettings settings) {
    if (!decoder || threads < 2 || position >= decoder->lengthFrames() ||
        decoder->lengthFrames() - position <= settings.segmentFrames) {
        return nullptr;
    }
    std::vector<std::unique_ptr<Decoder>> decoders;
    while (decoders.size() + 1 < threads) {
        auto other = decoder->openAnother();
        if (!other || other->rate() != decoder->rate() ||
            other->channels() != decoder->channels() ||
            other->lengthFrames() != decoder->lengthFrames() || other->kind() != decoder->kind()) {
            break;
        }
        decoders.push_back(std::move(other));
    }
    if (decoders.empty()) {
        return nullptr;
    }
    decoders.insert(decoders.begin(), std::move(decoder));
    return std::make_unique<ParallelDecoder>(std::move(decoders), position, settings);
}

}  // namespace tarvel::audio
