# The AES bench compares CRijndael with the system's libcrypto.
find_package(OpenSSL REQUIRED)
target_link_libraries(${name} PRIVATE OpenSSL::Crypto)
