// A client site for the control in the Windows test hosts: its container moniker names the
// page's URL (no URL: GetMoniker fails, as for a container that knows no page). It lives on
// the caller's stack, so reference counting only counts.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <urlmon.h>

#include <optional>
#include <string>
#include <utility>

class PageSite final : public IOleClientSite {
 public:
  explicit PageSite(std::optional<std::wstring> url) : url_(std::move(url)) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *ppv = static_cast<IOleClientSite*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD which, IMoniker** mk) override {
    *mk = nullptr;
    if (!url_ || which != OLEWHICHMK_CONTAINER) return E_FAIL;
    return CreateURLMoniker(nullptr, url_->c_str(), mk);
  }
  STDMETHODIMP GetContainer(IOleContainer** c) override {
    *c = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

 private:
  std::optional<std::wstring> url_;
  ULONG refs_ = 1;
};
