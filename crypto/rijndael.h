// The AES (Rijndael) block cipher: 16/24/32-byte keys and blocks, ECB/CBC/CFB.
// With a 16-byte block this is AES (AES-128/192/256 by key length); the 24- and 32-byte
// blocks are the wider Rijndael blocks. Words are big-endian: the first key or block byte is
// the most significant byte of the first word.
//
// Errors are raised as std::runtime_error carrying one of the five texts:
// "Empty key", "Incorrect key length", "Incorrect block length", "Object not Initialized",
// "Data not multiple of Block Size".
//
// Modes work on whole blocks of BlockSize() bytes:
//   ECB  each block on its own;
//   CBC  encrypt: chain ^= in, out = E(chain), chain = out;
//        decrypt: out = D(in) ^ chain, chain = in;
//   CFB  full-block cipher feedback: out = E(chain) ^ in, chain = the cipher block.
// The current chain carries over from one Encrypt/Decrypt call to the next; only SetKey
// resets it to the chain given. A mode value other than CBC or CFB works as ECB.
// Input and output may be the same buffer.
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
  virtual ~CRijndael();
  CRijndael(const CRijndael&) = delete;
  CRijndael& operator=(const CRijndael&) = delete;

  // Reads exactly keyLength bytes of key and blockSize bytes of chain (a null chain counts
  // as all zero bytes). Checks, in this order: null key ("Empty key"), key length not 16, 24
  // or 32 ("Incorrect key length"), block size not 16, 24 or 32 ("Incorrect block length").
  // A failed call changes nothing.
  void SetKey(const char* key, const char* chain, int keyLength = 16, int blockSize = 16);
  // One block of BlockSize() bytes. "Object not Initialized" before SetKey.
  void EncryptBlock(const char* in, char* result);
  void DecryptBlock(const char* in, char* result);
  // n bytes, a non-zero multiple of BlockSize(). "Object not Initialized" before SetKey,
  // then "Data not multiple of Block Size".
  void Encrypt(const char* in, char* result, size_t n, int mode = ECB);
  void Decrypt(const char* in, char* result, size_t n, int mode = ECB);

  int KeyLength() const { return keyLength_; }
  int BlockSize() const { return blockSize_; }
  int Rounds() const { return rounds_; }
  bool Initialized() const { return initialized_; }

 private:
  static constexpr int kMaxBlockWords = kMaxBlockSize / 4;

  void DefEncryptBlock(const char* in, char* result) const;  // 16-byte blocks
  void DefDecryptBlock(const char* in, char* result) const;
  void WideEncryptBlock(const char* in, char* result) const;  // 24- and 32-byte blocks
  void WideDecryptBlock(const char* in, char* result) const;
  void Encipher(const char* in, char* result) const;  // either path, by block size
  void Decipher(const char* in, char* result) const;
  void CheckData(size_t n) const;

  bool initialized_ = false;
  int keyLength_ = 0;
  int blockSize_ = 0;
  int rounds_ = 0;
  // Round keys, rounds + 1 of them, each BlockSize() / 4 words, stored one after another.
  // The decryption keys run in reverse round order with InvMixColumns applied to keys
  // 1 .. rounds - 1 (the equivalent inverse cipher).
  uint32_t ke_[(kMaxRounds + 1) * kMaxBlockWords] = {};
  uint32_t kd_[(kMaxRounds + 1) * kMaxBlockWords] = {};
  char chain0_[kMaxBlockSize] = {};  // the chain given to SetKey
  char chain_[kMaxBlockSize] = {};   // the current chain, advanced by CBC and CFB
};

}  // namespace quilta
