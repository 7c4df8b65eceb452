# vorlinq_gzip_file(FILE OUT_VAR): compresses FILE beside itself as FILE.gz at
# configure time, at the highest level and without a name or time stamp in
# the gzip header, so that the same input always gives the same bytes. OUT_VAR
# receives the compressed file, or FILE itself where there is no gzip.
find_program(VORLINQ_GZIP gzip)

function(vorlinq_gzip_file file out_var)
  if(NOT VORLINQ_GZIP)
    set(${out_var} ${file} PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND ${VORLINQ_GZIP} -9nkf ${file} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed: ${result}")
  endif()
  set(${out_var} ${file}.gz PARENT_SCOPE)
endfunction()

# vorlinq_gzip_doc(FILE OUT_VAR): a document for /usr/share/doc. Debian wants
# those over 4 kB compressed: such a FILE is copied into the current binary
# directory and compressed there, and OUT_VAR receives the compressed copy;
# a smaller FILE is installed as it is.
function(vorlinq_gzip_doc file out_var)
  file(SIZE ${file} size)
  if(size LESS_EQUAL 4096)
    set(${out_var} ${file} PARENT_SCOPE)
    return()
  endif()
  get_filename_component(name ${file} NAME)
  configure_file(${file} ${CMAKE_CURRENT_BINARY_DIR}/${name} COPYONLY)
  vorlinq_gzip_file(${CMAKE_CURRENT_BINARY_DIR}/${name} compressed)
  set(${out_var} ${compressed} PARENT_SCOPE)
endfunction()
