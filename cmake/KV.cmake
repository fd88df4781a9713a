# Helpers shared by the tree's targets.

# kv_add_resources(<target> NAME <file> [NAME <file> ...])
# Embeds files as resources of type "DATA": on Windows through a generated .rc (language 1049),
# elsewhere through a generated table that the binary installs at load.
function(kv_add_resources target)
  set(args ${ARGN})
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  if(WIN32)
    set(text "")
  else()
    set(asm "")
    set(rows "")
    set(index 0)
  endif()
  set(deps "")
  list(LENGTH args n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET args ${i} name)
    list(GET args ${j} file)
    get_filename_component(file ${file} ABSOLUTE)
    list(APPEND deps ${file})
    if(WIN32)
      # Quoted, so that a name like ALT is not read as a keyword; upper case, as the resource
      # compiler stores unquoted names and the lookup expects. Each entry starts with the
      # language statement, so that its quoted name never joins the file name before it.
      string(TOUPPER "${name}" upper)
      string(APPEND text "LANGUAGE 0x19, 0x01\n\"${upper}\" DATA \"${file}\"\n")
    else()
      string(APPEND asm "  \".balign 16\\n\"\n  \"kv_res_${index}:\\n\"\n  \".incbin \\\"${file}\\\"\\n\"\n  \"kv_res_${index}_end:\\n\"\n  \".byte 0\\n\"\n")
      string(APPEND rows "    {\"${name}\", kv_res_${index}, 0},\n")
      string(APPEND decls "extern const unsigned char kv_res_${index}[] __asm__(\"kv_res_${index}\");\n")
      string(APPEND sizes "  sizes[${index}] = static_cast<size_t>(kv_res_${index}_end - kv_res_${index});\n")
      string(APPEND decls "extern const unsigned char kv_res_${index}_end[] __asm__(\"kv_res_${index}_end\");\n")
      math(EXPR index "${index} + 1")
    endif()
  endforeach()
  if(WIN32)
    file(GENERATE OUTPUT ${gen}.rc CONTENT "${text}")
    target_sources(${target} PRIVATE ${gen}.rc)
    set_source_files_properties(${gen}.rc PROPERTIES OBJECT_DEPENDS "${deps}")
  else()
    file(GENERATE OUTPUT ${gen}.cpp CONTENT
"// Generated: the resources of ${target}.
#include <cstddef>
#include \"KV_resources.h\"

__asm__(\".section .rodata\\n\"
${asm}  \".previous\\n\");

${decls}
namespace {
KV_resource_entry table[] = {
${rows}    {nullptr, nullptr, 0},
};
struct Install {
  Install() {
    size_t sizes[sizeof table / sizeof table[0]] = {};
${sizes}    for (size_t i = 0; table[i].name; ++i) table[i].size = sizes[i];
    KV_resource_set_table(table);
  }
} install;
}  // namespace
")
    target_sources(${target} PRIVATE ${gen}.cpp)
    set_source_files_properties(${gen}.cpp PROPERTIES OBJECT_DEPENDS "${deps}")
  endif()
endfunction()
