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
