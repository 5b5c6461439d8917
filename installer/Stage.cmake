# Gathers the package's files into one folder, from which both the zip and
# the setup program take them: the programs as built, and the README and the
# licence as Windows text files (CR LF), named .txt so that a double click
# opens them.
#   cmake -DSTAGE=folder -DFILES=a;b -DREADME=README.md -DLICENSE=LICENSE -P Stage.cmake
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(COPY ${FILES} DESTINATION ${STAGE})
foreach(text README LICENSE)
    file(READ ${${text}} content)
    string(REPLACE "\r\n" "\n" content "${content}")
    string(REPLACE "\n" "\r\n" content "${content}")
    file(WRITE ${STAGE}/${text}.txt "${content}")
endforeach()
# Copies keep their files' times: this marks when the gathering was done.
file(TOUCH ${STAGE}/staged.stamp)
