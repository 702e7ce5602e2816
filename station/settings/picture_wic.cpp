// Pictures through the Windows Imaging Component: it reads bottom-up and top-down BMP
// files alike (the older LoadImage + GetDIBits path gives black for top-down ones under
// Wine). Any format WIC knows is accepted; every picture becomes 0xRRGGBB points.
#include "station/settings/picture.h"

#include <windows.h>
#include <wincodec.h>

namespace station {

namespace {

// COM for this thread for one call: a thread that has it already (in either model) keeps it.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

template <class T>
class Ref {
 public:
  Ref() = default;
  ~Ref() {
    if (p_) p_->Release();
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  T** out() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};

std::wstring widePath(const std::string& path) {
  int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, w.data(), n);
  w.resize(static_cast<size_t>(n - 1));
  return w;
}

}  // namespace

std::optional<Picture> loadPicture(const std::string& path) {
  ComScope com;
  if (!com.usable()) return std::nullopt;
  const std::wstring wide = widePath(path);
  if (wide.empty()) return std::nullopt;
  Ref<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(factory.out()))))
    return std::nullopt;
  Ref<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.out())))
    return std::nullopt;
  Ref<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.out()))) return std::nullopt;
  Ref<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.out())) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return std::nullopt;
  UINT w = 0, h = 0;
  if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0 || w > 65535 || h > 65535)
    return std::nullopt;
  Picture p;
  p.width = static_cast<int>(w);
  p.height = static_cast<int>(h);
  p.rgb.resize(static_cast<size_t>(w) * h);
  const UINT stride = w * 4;
  if (FAILED(converter->CopyPixels(nullptr, stride, static_cast<UINT>(p.rgb.size() * 4),
                                   reinterpret_cast<BYTE*>(p.rgb.data()))))
    return std::nullopt;
  for (std::uint32_t& point : p.rgb) point &= 0xFFFFFFu;  // BGRX in memory: 0x??RRGGBB
  return p;
}

}  // namespace station
