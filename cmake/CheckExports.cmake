# Script mode: fails when LIBRARY exports any symbol outside the class CLASS (and its CLASSEvents sink
# interface), given with its namespace, e.g. -DCLASS=inlark::Pop3. CLASS may be an alternation of class and
# function names, e.g. "outlark::(Smtp|ComposeMail)" or "inlark::Pop3|inlark::ParseMessage".
execute_process(COMMAND nm -DC --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(count 0)
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-f]* *[A-Za-z] " "" name "${line}")
  if(name MATCHES "^(typeinfo for |typeinfo name for |vtable for )?(${CLASS})(Events)?(::|\\(|\\[|$)")
    math(EXPR count "${count} + 1")
  elseif(name MATCHES "^([a-z_ *&]+ )?(std|__gnu_cxx)::")
    # The standard library's own templates (with their return type in debug builds): not ours to hide.
  elseif(NOT name STREQUAL "")
    message(SEND_ERROR "exported beyond ${CLASS}: ${name}")
  endif()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "${CLASS} is not exported")
endif()
