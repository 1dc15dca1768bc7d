#include "tests/audio/library/formats/songs/module_builder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zv::test {
namespace {

class Bytes {
 public:
  std::vector<uint8_t> data;
  size_t Size() const { return data.size(); }
  void U8(int v) { data.push_back(static_cast<uint8_t>(v)); }
  void U16(int v) {
    U8(v & 0xFF);
    U8((v >> 8) & 0xFF);
  }
  void U32(uint32_t v) {
    U16(static_cast<int>(v & 0xFFFF));
    U16(static_cast<int>(v >> 16));
  }
  void U16Big(int v) {
    U8((v >> 8) & 0xFF);
    U8(v & 0xFF);
  }
  void U32Big(uint32_t v) {
    U16Big(static_cast<int>(v >> 16));
    U16Big(static_cast<int>(v & 0xFFFF));
  }
  void Text(const std::string& s, size_t n) {
    for (size_t i = 0; i < n; ++i) U8(i < s.size() ? s[i] : 0);
  }
  void Zeros(size_t n) { data.insert(data.end(), n, 0); }
  void Align(size_t n) {
    while (data.size() % n) U8(0);
  }
  void PutU16At(size_t at, int v) {
    data[at] = static_cast<uint8_t>(v & 0xFF);
    data[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  }
  void PutU32At(size_t at, uint32_t v) {
    PutU16At(at, static_cast<int>(v & 0xFFFF));
    PutU16At(at + 2, static_cast<int>(v >> 16));
  }
  void Append(const std::vector<uint8_t>& more) { data.insert(data.end(), more.begin(), more.end()); }
};

constexpr int kModPeriods[108] = {
    6848, 6464, 6096, 5760, 5424, 5120, 4832, 4560, 4304, 4064, 3840, 3624, 3424, 3232, 3048, 2880, 2712, 2560,
    2416, 2280, 2152, 2032, 1920, 1812, 1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960,  906,
    856,  808,  762,  720,  678,  640,  604,  570,  538,  508,  480,  453,  428,  404,  381,  360,  339,  320,
    302,  285,  269,  254,  240,  226,  214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120,  113,
    107,  101,  95,   90,   85,   80,   75,   71,   67,   63,   60,   56,   53,   50,   47,   45,   42,   40,
    37,   35,   33,   31,   30,   28,   26,   25,   23,   22,   21,   20,   18,   17,   16,   15,   15,   14};

}  // namespace

std::vector<int16_t> SquareWave(int length, int period, int amplitude) {
  std::vector<int16_t> wave(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) wave[static_cast<size_t>(i)] = static_cast<int16_t>((i % period) < period / 2 ? amplitude : -amplitude);
  return wave;
}

std::vector<uint8_t> WriteMod(const TestModule& m) {
  Bytes b;
  b.Text(m.name, 20);
  for (int i = 0; i < 31; ++i) {
    const TestSample* s = i < static_cast<int>(m.samples.size()) ? &m.samples[static_cast<size_t>(i)] : nullptr;
    b.Text(s ? s->name : "", 22);
    b.U16Big(s ? static_cast<int>(s->data.size() / 2) : 0);
    b.U8(s ? s->finetune & 15 : 0);
    b.U8(s ? s->volume : 0);
    b.U16Big(s && s->loop ? s->loop_start / 2 : 0);
    b.U16Big(s && s->loop ? s->loop_length / 2 : 1);
  }
  b.U8(static_cast<int>(m.orders.size()));
  b.U8(127);
  for (int i = 0; i < 128; ++i) b.U8(i < static_cast<int>(m.orders.size()) ? m.orders[static_cast<size_t>(i)] : 0);
  b.Text(m.mod_signature, 4);
  for (const TestPattern& p : m.patterns) {
    for (int row = 0; row < 64; ++row) {
      for (int ch = 0; ch < m.channels; ++ch) {
        const TestCell c = row < p.rows && ch < p.channels ? p.At(row, ch) : TestCell{};
        const int period = c.note >= 1 && c.note <= 108 ? kModPeriods[c.note - 1] : 0;
        b.U8((c.instrument & 0xF0) | ((period >> 8) & 15));
        b.U8(period & 0xFF);
        b.U8(((c.instrument & 15) << 4) | (c.effect & 15));
        b.U8(c.parameter);
      }
    }
  }
  for (const TestSample& s : m.samples) {
    for (size_t i = 0; i < s.data.size() / 2 * 2; ++i) b.U8(s.data[i] & 0xFF);
  }
  return b.data;
}

std::vector<uint8_t> WriteS3m(const TestModule& m) {
  Bytes b;
  b.Text(m.name, 28);
  b.U8(0x1A);
  b.U8(16);
  b.Zeros(2);
  b.U16(static_cast<int>(m.orders.size()));
  b.U16(static_cast<int>(m.samples.size()));
  b.U16(static_cast<int>(m.patterns.size()));
  b.U16(0);       // flags
  b.U16(0x1320);  // tracker
  b.U16(2);       // unsigned samples
  b.Text("SCRM", 4);
  b.U8(m.global_volume);
  b.U8(m.speed);
  b.U8(m.tempo);
  b.U8(m.stereo ? 0xB0 : 0x30);
  b.U8(0);
  b.U8(0);
  b.Zeros(10);
  for (int i = 0; i < 32; ++i) b.U8(i < m.channels ? ((i & 1) ? 8 + i / 2 : i / 2) : 255);
  for (int o : m.orders) b.U8(o);
  const size_t pointers = b.Size();
  b.Zeros(2 * (m.samples.size() + m.patterns.size()));
  std::vector<size_t> sample_header_at;
  for (size_t i = 0; i < m.samples.size(); ++i) {
    b.Align(16);
    b.PutU16At(pointers + 2 * i, static_cast<int>(b.Size() / 16));
    sample_header_at.push_back(b.Size());
    b.Zeros(80);
  }
  for (size_t p = 0; p < m.patterns.size(); ++p) {
    b.Align(16);
    b.PutU16At(pointers + 2 * (m.samples.size() + p), static_cast<int>(b.Size() / 16));
    const size_t start = b.Size();
    b.U16(0);
    const TestPattern& pattern = m.patterns[p];
    for (int row = 0; row < 64; ++row) {
      for (int ch = 0; row < pattern.rows && ch < pattern.channels; ++ch) {
        const TestCell& c = pattern.At(row, ch);
        int flag = ch;
        if (c.note >= 0 || c.instrument) flag |= 0x20;
        if (c.volume >= 0) flag |= 0x40;
        if (c.effect) flag |= 0x80;
        if (flag == ch) continue;
        b.U8(flag);
        if (flag & 0x20) {
          int note = 0xFF;
          if (c.note == 255)
            note = 0xFE;
          else if (c.note >= 1)
            note = (((c.note - 1) / 12) << 4) | ((c.note - 1) % 12);
          b.U8(note);
          b.U8(c.instrument);
        }
        if (flag & 0x40) b.U8(c.volume);
        if (flag & 0x80) {
          b.U8(c.effect);
          b.U8(c.parameter);
        }
      }
      b.U8(0);
    }
    b.PutU16At(start, static_cast<int>(b.Size() - start));
  }
  for (size_t i = 0; i < m.samples.size(); ++i) {
    const TestSample& s = m.samples[i];
    b.Align(16);
    const size_t data_at = b.Size() / 16;
    for (int16_t v : s.data) {
      if (s.sixteen_bit)
        b.U16(static_cast<uint16_t>(v) ^ 0x8000);
      else
        b.U8((v & 0xFF) ^ 0x80);
    }
    Bytes h;
    h.U8(1);
    h.Text("file.smp", 12);
    h.U8(static_cast<int>(data_at >> 16));
    h.U16(static_cast<int>(data_at & 0xFFFF));
    h.U32(static_cast<uint32_t>(s.data.size()));
    h.U32(static_cast<uint32_t>(s.loop_start));
    h.U32(static_cast<uint32_t>(s.loop_start + s.loop_length));
    h.U8(s.volume);
    h.U8(0);
    h.U8(0);
    h.U8((s.loop ? 1 : 0) | (s.sixteen_bit ? 4 : 0));
    h.U32(static_cast<uint32_t>(s.middle_c_rate));
    h.Zeros(12);
    h.Text(s.name, 28);
    h.Text("SCRS", 4);
    std::copy(h.data.begin(), h.data.end(), b.data.begin() + static_cast<long>(sample_header_at[i]));
  }
  return b.data;
}

namespace {

void XmEnvelope(Bytes& b, const TestEnvelope& e) {
  for (int i = 0; i < 12; ++i) {
    const bool has = i < static_cast<int>(e.points.size());
    b.U16(has ? e.points[static_cast<size_t>(i)].first : 0);
    b.U16(has ? e.points[static_cast<size_t>(i)].second : 0);
  }
}

int XmEnvelopeType(const TestEnvelope& e) { return (e.on ? 1 : 0) | (e.sustain ? 2 : 0) | (e.loop ? 4 : 0); }

}  // namespace

std::vector<uint8_t> WriteXm(const TestModule& m) {
  Bytes b;
  b.Text("Extended Module: ", 17);
  b.Text(m.name, 20);
  b.U8(0x1A);
  b.Text("builder", 20);
  b.U16(0x0104);
  b.U32(276);
  b.U16(static_cast<int>(m.orders.size()));
  b.U16(m.restart);
  b.U16(m.channels);
  b.U16(static_cast<int>(m.patterns.size()));
  b.U16(static_cast<int>(m.instruments.size()));
  b.U16(m.linear ? 1 : 0);
  b.U16(m.speed);
  b.U16(m.tempo);
  for (int i = 0; i < 256; ++i) b.U8(i < static_cast<int>(m.orders.size()) ? m.orders[static_cast<size_t>(i)] : 0);
  for (const TestPattern& p : m.patterns) {
    Bytes cells;
    for (int row = 0; row < p.rows; ++row) {
      for (int ch = 0; ch < m.channels; ++ch) {
        const TestCell c = ch < p.channels ? p.At(row, ch) : TestCell{};
        int mask = 0x80;
        if (c.note >= 0) mask |= 1;
        if (c.instrument) mask |= 2;
        if (c.volume >= 0) mask |= 4;
        if (c.effect) mask |= 8;
        if (c.parameter) mask |= 16;
        cells.U8(mask);
        if (mask & 1) cells.U8(c.note);
        if (mask & 2) cells.U8(c.instrument);
        if (mask & 4) cells.U8(c.volume);
        if (mask & 8) cells.U8(c.effect);
        if (mask & 16) cells.U8(c.parameter);
      }
    }
    b.U32(9);
    b.U8(0);
    b.U16(p.rows);
    b.U16(static_cast<int>(cells.Size()));
    b.Append(cells.data);
  }
  for (const TestInstrument& in : m.instruments) {
    const bool has_samples = !in.samples.empty();
    const uint32_t size = has_samples ? 243 : 29;
    b.U32(size);
    b.Text(in.name, 22);
    b.U8(0);
    b.U16(static_cast<int>(in.samples.size()));
    if (has_samples) {
      b.U32(40);
      for (int n = 0; n < 96; ++n) b.U8(0);  // every note plays the first sample
      XmEnvelope(b, in.volume_envelope);
      XmEnvelope(b, in.pan_envelope);
      b.U8(static_cast<int>(in.volume_envelope.points.size()));
      b.U8(static_cast<int>(in.pan_envelope.points.size()));
      b.U8(in.volume_envelope.sustain_begin);
      b.U8(in.volume_envelope.loop_begin);
      b.U8(in.volume_envelope.loop_end);
      b.U8(in.pan_envelope.sustain_begin);
      b.U8(in.pan_envelope.loop_begin);
      b.U8(in.pan_envelope.loop_end);
      b.U8(XmEnvelopeType(in.volume_envelope));
      b.U8(XmEnvelopeType(in.pan_envelope));
      b.U8(in.vibrato_type);
      b.U8(in.vibrato_sweep);
      b.U8(in.vibrato_depth);
      b.U8(in.vibrato_rate);
      b.U16(in.fade_out);
      b.U16(0);
      for (int index : in.samples) {
        const TestSample& s = m.samples[static_cast<size_t>(index)];
        const int width = s.sixteen_bit ? 2 : 1;
        b.U32(static_cast<uint32_t>(s.data.size() * width));
        b.U32(static_cast<uint32_t>(s.loop_start * width));
        b.U32(static_cast<uint32_t>(s.loop_length * width));
        b.U8(s.volume);
        b.U8(s.finetune & 0xFF);
        b.U8((s.loop ? (s.ping_pong ? 2 : 1) : 0) | (s.sixteen_bit ? 16 : 0));
        b.U8(s.pan);
        b.U8(s.relative_note & 0xFF);
        b.U8(0);
        b.Text(s.name, 22);
      }
      for (int index : in.samples) {
        const TestSample& s = m.samples[static_cast<size_t>(index)];
        int previous = 0;
        for (int16_t v : s.data) {
          const int delta = v - previous;
          previous = v;
          if (s.sixteen_bit)
            b.U16(delta & 0xFFFF);
          else
            b.U8(delta & 0xFF);
        }
      }
    }
  }
  return b.data;
}

namespace {

void ItEnvelope(Bytes& b, const TestEnvelope& e) {
  b.U8((e.on ? 1 : 0) | (e.loop ? 2 : 0) | (e.sustain ? 4 : 0));
  b.U8(static_cast<int>(e.points.size()));
  b.U8(e.loop_begin);
  b.U8(e.loop_end);
  b.U8(e.sustain_begin);
  b.U8(e.sustain_end);
  for (int i = 0; i < 25; ++i) {
    const bool has = i < static_cast<int>(e.points.size());
    b.U8(has ? e.points[static_cast<size_t>(i)].second & 0xFF : 0);
    b.U16(has ? e.points[static_cast<size_t>(i)].first : 0);
  }
  b.U8(0);
}

}  // namespace

std::vector<uint8_t> WriteIt(const TestModule& m) {
  Bytes b;
  b.Text("IMPM", 4);
  b.Text(m.name, 26);
  b.U16(0x0410);
  b.U16(static_cast<int>(m.orders.size()) + 1);
  b.U16(static_cast<int>(m.instruments.size()));
  b.U16(static_cast<int>(m.samples.size()));
  b.U16(static_cast<int>(m.patterns.size()));
  b.U16(0x0214);
  b.U16(m.it_version);
  b.U16(1 | (m.instrument_mode ? 4 : 0) | (m.linear ? 8 : 0));
  b.U16(0);
  b.U8(m.global_volume);
  b.U8(m.mix_volume);
  b.U8(m.speed);
  b.U8(m.tempo);
  b.U8(128);
  b.U8(0);
  b.Zeros(10);
  for (int i = 0; i < 64; ++i) b.U8(i < m.channels ? 32 : 32 | 128);
  for (int i = 0; i < 64; ++i) b.U8(64);
  for (int o : m.orders) b.U8(o);
  b.U8(255);
  const size_t offsets = b.Size();
  b.Zeros(4 * (m.instruments.size() + m.samples.size() + m.patterns.size()));
  size_t slot = 0;
  for (const TestInstrument& in : m.instruments) {
    b.PutU32At(offsets + 4 * slot++, static_cast<uint32_t>(b.Size()));
    b.Text("IMPI", 4);
    b.Text("file", 12);
    b.U8(0);
    b.U8(in.nna);
    b.U8(in.dct);
    b.U8(in.dca);
    b.U16(in.fade_out);
    b.U8(0);
    b.U8(60);
    b.U8(in.global_volume);
    b.U8(in.default_pan);
    b.U8(0);
    b.U8(0);
    b.U16(0x0214);
    b.U8(1);
    b.U8(0);
    b.Text(in.name, 26);
    b.Zeros(6);
    for (int n = 0; n < 120; ++n) {
      b.U8(n);
      b.U8(in.sample);
    }
    ItEnvelope(b, in.volume_envelope);
    ItEnvelope(b, in.pan_envelope);
    ItEnvelope(b, in.pitch_envelope);
    b.Zeros(4);
  }
  std::vector<size_t> sample_header_at;
  for (size_t i = 0; i < m.samples.size(); ++i) {
    b.PutU32At(offsets + 4 * slot++, static_cast<uint32_t>(b.Size()));
    sample_header_at.push_back(b.Size());
    b.Zeros(80);
  }
  for (const TestPattern& p : m.patterns) {
    b.PutU32At(offsets + 4 * slot++, static_cast<uint32_t>(b.Size()));
    Bytes packed;
    for (int row = 0; row < p.rows; ++row) {
      for (int ch = 0; ch < p.channels; ++ch) {
        const TestCell& c = p.At(row, ch);
        int mask = 0;
        if (c.note >= 0) mask |= 1;
        if (c.instrument) mask |= 2;
        if (c.volume >= 0) mask |= 4;
        if (c.effect) mask |= 8;
        if (!mask) continue;
        packed.U8((ch + 1) | 0x80);
        packed.U8(mask);
        if (mask & 1) packed.U8(c.note);
        if (mask & 2) packed.U8(c.instrument);
        if (mask & 4) packed.U8(c.volume);
        if (mask & 8) {
          packed.U8(c.effect);
          packed.U8(c.parameter);
        }
      }
      packed.U8(0);
    }
    b.U16(static_cast<int>(packed.Size()));
    b.U16(p.rows);
    b.Zeros(4);
    b.Append(packed.data);
  }
  for (size_t i = 0; i < m.samples.size(); ++i) {
    const TestSample& s = m.samples[i];
    const size_t data_at = b.Size();
    if (s.it_packed && !s.sixteen_bit) {
      // One block per 32768 samples, every delta a 9-bit code.
      for (size_t first = 0; first < s.data.size(); first += 0x8000) {
        Bytes bits;
        uint32_t acc = 0;
        int count = 0;
        int previous = 0;
        for (size_t i = first; i < std::min(s.data.size(), first + 0x8000); ++i) {
          acc |= static_cast<uint32_t>((s.data[i] - previous) & 0xFF) << count;
          previous = s.data[i];
          count += 9;
          while (count >= 8) {
            bits.U8(acc & 0xFF);
            acc >>= 8;
            count -= 8;
          }
        }
        if (count) bits.U8(acc & 0xFF);
        b.U16(static_cast<int>(bits.Size()));
        b.Append(bits.data);
      }
    } else {
      for (int16_t v : s.data) {
        if (s.sixteen_bit)
          b.U16(static_cast<uint16_t>(v));
        else
          b.U8(v & 0xFF);
      }
    }
    Bytes h;
    h.Text("IMPS", 4);
    h.Text("file", 12);
    h.U8(0);
    h.U8(s.global_volume);
    h.U8(1 | (s.sixteen_bit ? 2 : 0) | (s.it_packed ? 8 : 0) | (s.loop ? 16 : 0) | (s.ping_pong ? 64 : 0));
    h.U8(s.volume);
    h.Text(s.name, 26);
    h.U8(1);
    h.U8(s.default_pan);
    h.U32(static_cast<uint32_t>(s.data.size()));
    h.U32(static_cast<uint32_t>(s.loop_start));
    h.U32(static_cast<uint32_t>(s.loop_start + s.loop_length));
    h.U32(static_cast<uint32_t>(s.middle_c_rate));
    h.U32(0);
    h.U32(0);
    h.U32(static_cast<uint32_t>(data_at));
    h.U8(s.vibrato_speed);
    h.U8(s.vibrato_depth);
    h.U8(s.vibrato_rate);
    h.U8(s.vibrato_type);
    std::copy(h.data.begin(), h.data.end(), b.data.begin() + static_cast<long>(sample_header_at[i]));
  }
  return b.data;
}

std::vector<uint8_t> WriteMidi(const std::vector<TestMidiEvent>& events, int division, int format) {
  Bytes track;
  auto vlq = [&track](uint32_t v) {
    uint8_t bytes[5];
    int n = 0;
    bytes[n++] = v & 0x7F;
    while (v >>= 7) bytes[n++] = static_cast<uint8_t>((v & 0x7F) | 0x80);
    while (n--) track.U8(bytes[n]);
  };
  for (const TestMidiEvent& e : events) {
    vlq(e.delta);
    track.Append(e.bytes);
  }
  vlq(0);
  track.Append({0xFF, 0x2F, 0x00});
  Bytes b;
  b.Text("MThd", 4);
  b.U32Big(6);
  b.U16Big(format);
  b.U16Big(1);
  b.U16Big(division);
  b.Text("MTrk", 4);
  b.U32Big(static_cast<uint32_t>(track.Size()));
  b.Append(track.data);
  return b.data;
}

std::vector<uint8_t> WrapRmi(const std::vector<uint8_t>& smf) {
  Bytes b;
  b.Text("RIFF", 4);
  b.U32(static_cast<uint32_t>(4 + 8 + smf.size() + (smf.size() & 1)));
  b.Text("RMID", 4);
  b.Text("data", 4);
  b.U32(static_cast<uint32_t>(smf.size()));
  b.Append(smf);
  if (smf.size() & 1) b.U8(0);
  return b.data;
}

}  // namespace zv::test
