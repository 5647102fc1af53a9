# The raw side of the comparison calls pcsc-lite directly, as the card exchange benchmark's.
include(${CMAKE_CURRENT_SOURCE_DIR}/card_exchange_bench.cmake)
