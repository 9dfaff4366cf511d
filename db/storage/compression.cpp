// Compression through zlib's deflate and inflate.
//
// Output buffers: Compress starts from (n + n/10 + 12) rounded up to a multiple of 256, more than
// deflate can produce, and grows by 256 bytes should deflate still fill it. Decompress starts
// from n rounded up to a multiple of 256 but at least 256 bytes (n is 0 for an empty input), and
// doubles while inflate fills it, up to maxSize + 1 bytes: one byte more than allowed tells an
// over-long stream from one that just fits. Both end cut to the produced length.
#include "db/storage/compression.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#include "db/engine/errors/engine_error.h"

namespace {

constexpr size_t kGrain = 256;

size_t RoundUp(size_t n) {
  return (n + kGrain - 1) / kGrain * kGrain;
}

// zlib counts in 32-bit units; larger buffers are fed and drained in pieces.
uInt Chunk(size_t n) {
  return static_cast<uInt>(std::min<size_t>(n, std::numeric_limits<uInt>::max()));
}

// Feeds the rest of the input and the rest of the output space to stream.
void Offer(z_stream& stream, std::span<const uint8_t> input, size_t inputDone,
           std::vector<uint8_t>& output, size_t outputDone) {
  stream.next_in = const_cast<Bytef*>(input.data() + inputDone);
  stream.avail_in = Chunk(input.size() - inputDone);
  stream.next_out = output.data() + outputDone;
  stream.avail_out = Chunk(output.size() - outputDone);
}

// Ends the stream however the caller leaves, so the zlib state is freed on a raise too.
class TDeflater {
 public:
  TDeflater() : ok_(deflateInit(&stream_, Z_BEST_COMPRESSION) == Z_OK) {}
  ~TDeflater() {
    if (ok_) deflateEnd(&stream_);
  }
  bool ok() const { return ok_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_;
};

class TInflater {
 public:
  TInflater() : ok_(inflateInit(&stream_) == Z_OK) {}
  ~TInflater() {
    if (ok_) inflateEnd(&stream_);
  }
  bool ok() const { return ok_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_;
};

}  // namespace

std::vector<uint8_t> Compress(std::span<const uint8_t> input) {
  TDeflater deflater;
  if (!deflater.ok()) RaiseEngineError(VUZODE_COMPRESS);
  z_stream& stream = deflater.stream();
  std::vector<uint8_t> output(RoundUp(input.size() + input.size() / 10 + 12));
  size_t inputDone = 0;
  size_t outputDone = 0;
  for (;;) {
    Offer(stream, input, inputDone, output, outputDone);
    const uInt inputOffered = stream.avail_in;
    const uInt outputOffered = stream.avail_out;
    const bool last = inputDone + inputOffered == input.size();
    const int result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
    inputDone += inputOffered - stream.avail_in;
    outputDone += outputOffered - stream.avail_out;
    if (result == Z_STREAM_END) break;
    if (result != Z_OK && result != Z_BUF_ERROR) RaiseEngineError(VUZODE_COMPRESS);
    if (outputDone == output.size()) output.resize(output.size() + kGrain);
  }
  output.resize(outputDone);
  return output;
}

std::vector<uint8_t> Decompress(std::span<const uint8_t> input, size_t maxSize) {
  TInflater inflater;
  if (!inflater.ok()) RaiseEngineError(VUZODE_UNCOMPRESS);
  z_stream& stream = inflater.stream();
  const size_t ceiling = maxSize == std::numeric_limits<size_t>::max() ? maxSize : maxSize + 1;
  std::vector<uint8_t> output(std::min(std::max(RoundUp(input.size()), kGrain), ceiling));
  size_t inputDone = 0;
  size_t outputDone = 0;
  for (;;) {
    Offer(stream, input, inputDone, output, outputDone);
    const uInt inputOffered = stream.avail_in;
    const uInt outputOffered = stream.avail_out;
    const int result = inflate(&stream, Z_NO_FLUSH);
    inputDone += inputOffered - stream.avail_in;
    outputDone += outputOffered - stream.avail_out;
    if (outputDone > maxSize) RaiseEngineError(VUZODE_UNCOMPRESS);
    if (result == Z_STREAM_END) break;
    // Z_DATA_ERROR (corrupt), Z_NEED_DICT (a dictionary we never use), Z_MEM_ERROR, ...
    if (result != Z_OK && result != Z_BUF_ERROR) RaiseEngineError(VUZODE_UNCOMPRESS);
    if (outputDone == output.size()) {
      output.resize(output.size() > ceiling / 2 ? ceiling : output.size() * 2);
    } else if (inputDone == input.size()) {
      RaiseEngineError(VUZODE_UNCOMPRESS);  // the input ended before the stream did
    }
  }
  // One reply is one stream; bytes after it mean the payload is not what was sent.
  if (inputDone != input.size()) RaiseEngineError(VUZODE_UNCOMPRESS);
  output.resize(outputDone);
  return output;
}
