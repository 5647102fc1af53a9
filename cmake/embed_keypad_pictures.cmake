# Writes OUTPUT: the keypad pictures of resources/keypad (NUMBER.bmp, drawn by
# tools/draw-keypad-bitmaps) as C++ arrays and a table by resource number, for the GTK
# renderer, which draws the same pictures as the Windows module holds as resources.
#   cmake -DPICTURES=<folder> -DOUTPUT=<file> -P embed_keypad_pictures.cmake
file(GLOB pictures "${PICTURES}/*.bmp")
list(SORT pictures)
set(arrays "")
set(table "")
foreach(path IN LISTS pictures)
  get_filename_component(number "${path}" NAME_WE)
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "constexpr unsigned char kPicture${number}[] = {${bytes}};\n")
  string(APPEND table "    {${number}, kPicture${number}, sizeof kPicture${number}},\n")
endforeach()
file(WRITE "${OUTPUT}.new"
  "// Made by cmake/embed_keypad_pictures.cmake from resources/keypad; do not edit.\n"
  "${arrays}\n"
  "constexpr EmbeddedPicture kEmbeddedPictures[] = {\n${table}};\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
