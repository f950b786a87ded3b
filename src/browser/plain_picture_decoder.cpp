#include "browser/plain_picture_decoder.h"

#include <windows.h>
#include <wincodec.h>

#include "browser/com_ptr.h"
#include "runtime/scope_exit.h"

std::unique_ptr<TskBitmap> DecodePicture(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return nullptr;
  // The imaging component is free-threaded; a worker thread joins the
  // multithreaded apartment for the call (or stays in the one it is in).
  const HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const TScopeExit leave([joined] {
    if (SUCCEEDED(joined)) CoUninitialize();
  });
  try {
    TComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.PutVoid()))) {
      return nullptr;
    }
    TComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.Put())) ||
        FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                            static_cast<DWORD>(bytes.size())))) {
      return nullptr;
    }
    TComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Put()))) {
      return nullptr;
    }
    TComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.Put()))) return nullptr;
    UINT width = 0;
    UINT height = 0;
    if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
        static_cast<long long>(width) * height > kMaxPicturePixels) {
      return nullptr;
    }
    TComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.Put())) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
      return nullptr;
    }
    auto bitmap = std::make_unique<TskBitmap>();
    bitmap->SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height));
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, reinterpret_cast<BYTE*>(bitmap->Bits())))) {
      return nullptr;
    }
    // BGRA bytes are 0xAARRGGBB pixels; composed over white they are opaque.
    TskPixel* pixel = bitmap->Bits();
    for (long long i = 0, n = static_cast<long long>(width) * height; i < n; ++i, ++pixel) {
      const unsigned alpha = *pixel >> 24;
      if (alpha == 255) continue;
      auto over = [alpha](unsigned channel) { return (channel * alpha + 255 * (255 - alpha) + 127) / 255; };
      *pixel = 0xFF000000u | over((*pixel >> 16) & 0xFF) << 16 | over((*pixel >> 8) & 0xFF) << 8 | over(*pixel & 0xFF);
    }
    bitmap->AlphaBlend = false;
    bitmap->Transparent = false;
    return bitmap;
  } catch (const Exception&) {
    return nullptr;  // no memory for the pixels
  }
}
