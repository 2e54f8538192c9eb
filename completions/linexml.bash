# bash completion for linexml: its commands, their options, and file names.
# Installed as share/bash-completion/completions/linexml; plain bash can also `source` it.
#
# A new command is one line in _linexml_options (and its name in _linexml_commands); a new option is
# a word on its command's line, and also a word in _linexml_file_options or _linexml_value_options
# when it takes a value.

_linexml_commands="check edit format get set tree"
# Options that several commands share: how a document is read, and how one is laid out.
_linexml_read="--accept-bom --accept-no-declaration --accept-full-prolog"
_linexml_layout="--indent --tabs --crlf --bom --standard-declaration --inline-text --profile"

# The options of each command; "" stands for linexml itself, before a command.
_linexml_options() {
  case $1 in
    "") echo "-h --help --version --config" ;;
    check) echo "-h --help -j --jobs -w --warnings -q --quiet --strict -W --show-source --format $_linexml_read" ;;
    edit) echo "-h --help -o --output --force --reformat --set --delete --delete-attr --add --text --rename --move $_linexml_layout $_linexml_read" ;;
    format) echo "-h --help -o --output -i --in-place --force $_linexml_layout $_linexml_read" ;;
    get) echo "-h --help --text --decode $_linexml_read" ;;
    set) echo "-h --help -o --output --force --reformat $_linexml_layout $_linexml_read" ;;
    tree) echo "-h --help --force $_linexml_read" ;;
  esac
}

# Options whose value is a file name, options whose value is one of a few words, and options whose
# value is anything else (nothing to offer).
_linexml_file_options="-o --output --config"
_linexml_value_options="-j --jobs --indent --set --delete --delete-attr --add --rename --move"
_linexml_words() {
  case $1 in
    --format) echo "text json" ;;
    -W) echo "error" ;;
    --profile) echo "linexml xml" ;;
  esac
}

_linexml_files() {
  compopt -o filenames 2>/dev/null
  local IFS=$'\n'
  COMPREPLY=($(compgen -f -- "$1"))
}

_linexml() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev="" command="" word i
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  # "--output=FILE" arrives as three words: "--output", "=", "FILE".
  if [[ $prev == "=" ]] && ((COMP_CWORD > 1)); then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  elif [[ $cur == "=" ]]; then
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    cur=""
  fi
  COMPREPLY=()

  # The command is the first word that is neither an option nor an option's value.
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    case " $_linexml_commands " in
      *" $word "*)
        command=$word
        break
        ;;
    esac
  done

  for word in $_linexml_file_options; do
    if [[ $prev == "$word" ]]; then
      _linexml_files "$cur"
      return 0
    fi
  done
  for word in $_linexml_value_options; do
    [[ $prev == "$word" ]] && return 0
  done
  local words
  words=$(_linexml_words "$prev")
  if [[ -n $words ]]; then
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
    return 0
  fi

  if [[ $cur == -* ]]; then
    local IFS=$' \t\n'
    COMPREPLY=($(compgen -W "$(_linexml_options "$command")" -- "$cur"))
  elif [[ -z $command ]]; then
    COMPREPLY=($(compgen -W "$_linexml_commands" -- "$cur"))
  else
    _linexml_files "$cur"
  fi
  return 0
}

complete -F _linexml linexml
