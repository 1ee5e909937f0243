# Turns the BIP-39 English word list (plain data) into a C++ array at build time.
function(oxa_generate_wordlist input output)
  file(STRINGS "${input}" words)
  list(LENGTH words count)
  if(NOT count EQUAL 2048)
    message(FATAL_ERROR "${input}: expected 2048 words, found ${count}")
  endif()
  list(JOIN words "\",\n    \"" body)
  file(WRITE "${output}.tmp"
    "// Generated from ${input}; do not edit.\n"
    "#include <array>\n#include <string_view>\n\n"
    "namespace oxa_signer {\n\n"
    "extern const std::array<std::string_view, 2048> BIP39_ENGLISH = {\n    \"${body}\"};\n\n"
    "}  // namespace oxa_signer\n")
  configure_file("${output}.tmp" "${output}" COPYONLY)
endfunction()
