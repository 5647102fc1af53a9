// The AES (Rijndael) block cipher: 16/24/32-byte keys and blocks, ECB/CBC/CFB.
// Errors are raised as std::runtime_error carrying one of the five texts:
// "Empty key", "Incorrect key length", "Incorrect block length", "Object not Initialized",
// "Data not multiple of Block Size".
#pragma once

#include <cstddef>
#include <cstdint>

namespace quilta {

class CRijndael {
 public:
  enum { ECB = 0, CBC = 1, CFB = 2 };
  static constexpr int kMaxRounds = 14;
  static constexpr int kMaxKeyColumns = 8;
  static constexpr int kMaxBlockSize = 32;

  CRijndael();
  ~CRijndael();
  CRijndael(const CRijndael&) = delete;
  CRijndael& operator=(const CRijndael&) = delete;

  // Reads exactly keyLength bytes of key and blockSize bytes of chain.
  void SetKey(const char* key, const char* chain, int keyLength = 16, int blockSize = 16);
  void EncryptBlock(const char* in, char* result);
  void DecryptBlock(const char* in, char* result);
  void Encrypt(const char* in, char* result, size_t n, int mode = ECB);
  void Decrypt(const char* in, char* result, size_t n, int mode = ECB);

  int KeyLength() const { return keyLength_; }
  int BlockSize() const { return blockSize_; }
  int Rounds() const { return rounds_; }
  bool Initialized() const { return initialized_; }

 private:
  void DefEncryptBlock(const char* in, char* result);  // 16-byte blocks
  void DefDecryptBlock(const char* in, char* result);
  void Xor(char* buff, const char* chain) const;

  bool initialized_ = false;
  int keyLength_ = 0;
  int blockSize_ = 0;
  int rounds_ = 0;
  uint32_t ke_[kMaxRounds + 1][kMaxBlockSize / 4] = {};  // encryption round keys
  uint32_t kd_[kMaxRounds + 1][kMaxBlockSize / 4] = {};  // decryption round keys
  char chain0_[kMaxBlockSize] = {};
  char chain_[kMaxBlockSize] = {};
  uint32_t tk_[kMaxKeyColumns] = {};
  uint32_t a_[kMaxBlockSize / 4] = {};
  uint32_t t_[kMaxBlockSize / 4] = {};
};

}  // namespace quilta
