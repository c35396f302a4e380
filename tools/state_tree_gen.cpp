// Reads the state tree declaration and writes everything derived from it:
//   state_tree.hpp       extern declarations and the readable names of game code
//   state_tree.cpp       the exported definitions and the binding and replay tables
//   state_manifest.tsv   one line per global, for the tests
//
// usage: state_tree_gen <state.tree> <output dir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fnv.hpp"

namespace {

enum class Type { I32, F32, Bool, U8 };

struct FieldDecl {
  std::string name;
  std::string type;  // a scalar type, a scalar type with [N], or a shape name
  bool early = false;
};

struct Global {
  std::string path;
  Type type = Type::I32;
  bool is_array = false;
  int32_t count = 1;           // elements of an array
  int32_t initial = 0;         // scalars only
  std::string collection;      // columns: the collection's path
  std::string element_field;   // columns: the field's path inside one element
  std::string namespace_path;  // readable name: enclosing module path
  std::string readable;        // readable name inside that namespace
  bool root = false;
  bool early = false;
};

[[noreturn]] void fail(const std::string& message) {
  std::cerr << "state_tree_gen: " << message << "\n";
  std::exit(1);
}

std::vector<std::string> split_words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string parent_of(const std::string& path) {
  const size_t dot = path.rfind('.');
  return dot == std::string::npos ? std::string() : path.substr(0, dot);
}

std::string last_of(const std::string& path) {
  const size_t dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(dot + 1);
}

bool parse_scalar_type(const std::string& text, Type& type) {
  static const std::map<std::string, Type> types = {
      {"i32", Type::I32}, {"f32", Type::F32}, {"bool", Type::Bool}, {"u8", Type::U8}};
  const auto found = types.find(text);
  if (found == types.end()) return false;
  type = found->second;
  return true;
}

struct Tree {
  std::map<std::string, std::vector<FieldDecl>> shapes;
  std::vector<Global> globals;
  std::set<std::string> array_like_paths;  // standalone arrays and collections

  void add(Global global) {
    for (const Global& other : globals)
      if (other.path == global.path && other.is_array == global.is_array) fail("declared twice: " + global.path);
    globals.push_back(std::move(global));
  }

  void add_scalar(const std::string& path, Type type, int32_t initial, bool root, bool early) {
    Global global;
    global.path = path;
    global.type = type;
    global.initial = initial;
    global.root = root;
    global.early = early;
    add(global);
  }

  void add_companions(const std::string& path, int32_t capacity, bool root) {
    add_scalar(path + ".length", Type::I32, 0, root, false);
    add_scalar(path + ".max_length", Type::I32, capacity, root, false);
  }

  void add_array(const std::string& path, Type type, int32_t count, bool root) {
    Global global;
    global.path = path;
    global.type = type;
    global.is_array = true;
    global.count = count;
    global.root = root;
    add(global);
    array_like_paths.insert(path);
    add_companions(path, count, root);
  }

  void add_field(const std::string& module, const FieldDecl& field, int depth = 0) {
    if (depth > 8) fail("shapes nest too deeply at " + module);
    const bool root = module.empty();
    const std::string path = root ? field.name : module + "." + field.name;
    std::string type_text = field.type;
    int32_t count = 0;
    if (const size_t open = type_text.find('['); open != std::string::npos) {
      if (type_text.back() != ']') fail("bad array type " + field.type);
      count = std::stoi(type_text.substr(open + 1, type_text.size() - open - 2));
      if (count <= 0) fail("array without elements: " + path);
      type_text = type_text.substr(0, open);
    }
    Type type;
    if (parse_scalar_type(type_text, type)) {
      if (count > 0)
        add_array(path, type, count, root);
      else
        add_scalar(path, type, 0, root, field.early);
      return;
    }
    const auto shape = shapes.find(type_text);
    if (shape == shapes.end() || count > 0) fail("unknown type " + field.type + " for " + path);
    for (const FieldDecl& inner : shape->second) add_field(path, inner, depth + 1);
  }

  void add_column(const std::string& collection, int32_t capacity, const FieldDecl& field) {
    Type type;
    if (!parse_scalar_type(field.type, type)) fail("a column takes a scalar type: " + collection + "." + field.name);
    Global global;
    global.path = collection + "." + field.name;
    global.type = type;
    global.is_array = true;
    global.count = capacity;
    global.collection = collection;
    global.element_field = field.name;
    add(global);
  }
};

Tree parse(const std::string& file) {
  std::ifstream in(file);
  if (!in) fail("cannot read " + file);
  Tree tree;
  enum class Block { None, Shape, Module, Collection } block = Block::None;
  std::string block_name;
  int32_t collection_capacity = 0;
  int line_number = 0;
  for (std::string line; std::getline(in, line);) {
    ++line_number;
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    const std::vector<std::string> words = split_words(line);
    if (words.empty()) continue;
    const std::string where = file + ":" + std::to_string(line_number);
    const bool indented = line[0] == ' ';
    if (!indented) {
      if (words[0] == "shape" && words.size() == 2) {
        block = Block::Shape;
        block_name = words[1];
        tree.shapes[block_name];
      } else if (words[0] == "module" && words.size() == 2) {
        block = Block::Module;
        block_name = words[1] == "-" ? std::string() : words[1];
      } else if (words[0] == "collection" && words.size() == 3) {
        block = Block::Collection;
        block_name = words[1];
        collection_capacity = std::stoi(words[2]);
        if (collection_capacity <= 0) fail(where + ": collection without elements");
        tree.array_like_paths.insert(block_name);
        tree.add_companions(block_name, collection_capacity, false);
      } else if (words[0] == "record" && words.size() == 3) {
        block = Block::None;
        tree.add_field(parent_of(words[2]), FieldDecl{last_of(words[2]), words[1]});
      } else {
        fail(where + ": cannot read \"" + line + "\"");
      }
      continue;
    }
    if (words.size() < 2 || words.size() > 3 || (words.size() == 3 && words[2] != "early"))
      fail(where + ": a field line is NAME TYPE [early]");
    const FieldDecl field{words[0], words[1], words.size() == 3};
    if (field.early && !(block == Block::Module && block_name.empty()))
      fail(where + ": only root scalars are bound early");
    switch (block) {
      case Block::Shape: tree.shapes[block_name].push_back(field); break;
      case Block::Module: tree.add_field(block_name, field); break;
      case Block::Collection: tree.add_column(block_name, collection_capacity, field); break;
      case Block::None: fail(where + ": field outside a block");
    }
  }
  return tree;
}

// Readable names: a module path becomes a namespace; a scalar that belongs to
// an array or collection (its companions, or extra fields such as a byte
// length) is written <array>_<field> beside the array.
void assign_readable_names(Tree& tree) {
  std::map<std::string, std::set<std::string>> variables;
  std::map<std::string, std::set<std::string>> namespaces;
  for (Global& global : tree.globals) {
    if (global.root) continue;
    std::string parent = parent_of(global.path);
    std::string name = last_of(global.path);
    if (!global.is_array && tree.array_like_paths.count(parent)) {
      name = last_of(parent) + "_" + name;
      parent = parent_of(parent);
    }
    global.namespace_path = parent;
    global.readable = name;
    if (!variables[parent].insert(name).second) fail("two readable names " + parent + "." + name);
    for (std::string module = parent; module.find('.') != std::string::npos; module = parent_of(module))
      namespaces[parent_of(module)].insert(last_of(module));
  }
  for (const auto& [module, names] : namespaces)
    for (const std::string& name : names)
      if (variables[module].count(name)) fail("a module and a field share the name " + module + "." + name);
}

std::string symbol_of(const Global& global) {
  const std::string body = replace_all(global.path, ".", "__");
  if (global.root) return body;
  return (global.is_array ? "vexlor_state_array__" : "vexlor_state_scalar__") + body;
}

const char* c_type(Type type) {
  switch (type) {
    case Type::F32: return "float";
    case Type::U8: return "uint8_t";
    case Type::I32:
    case Type::Bool: return "int32_t";
  }
  return "";
}

const char* kind_name(Type type) {
  switch (type) {
    case Type::F32: return "F32";
    case Type::U8: return "U8";
    case Type::I32:
    case Type::Bool: return "I32";
  }
  return "";
}

const char* type_name(Type type) {
  switch (type) {
    case Type::I32: return "i32";
    case Type::F32: return "f32";
    case Type::Bool: return "bool";
    case Type::U8: return "u8";
  }
  return "";
}

int32_t first_key(const Global& global) {
  return vexlor::key_of(global.collection.empty() ? global.path : global.collection);
}

int32_t second_key(const Global& global) {
  return global.collection.empty() ? 0 : vexlor::key_of(global.element_field);
}

bool in_replay_image(const Global& global) {
  return !global.root && global.path.rfind("app.", 0) == 0 && global.path.rfind("app.host.", 0) != 0;
}

int32_t replay_bytes(const Global& global) {
  const int32_t width = (global.type == Type::Bool || global.type == Type::U8) ? 1 : 4;
  return global.is_array ? width * global.count : width;
}

const char* replay_encoding(const Global& global) {
  if (global.type == Type::Bool) return global.is_array ? "BoolArray" : "Bool";
  if (global.type == Type::U8) return "ByteArray";
  return global.is_array ? "WordArray" : "Word";
}

void check_keys_distinct(const std::vector<const Global*>& globals) {
  std::set<std::tuple<std::string, bool, int32_t, int32_t>> seen;
  for (const Global* global : globals)
    if (!seen.insert({kind_name(global->type), global->is_array, first_key(*global), second_key(*global)}).second)
      fail("two globals share a storage key: " + global->path);
}

struct Orders {
  std::vector<const Global*> root_arrays;     // declaration order
  std::vector<const Global*> early_scalars;   // declaration order
  std::vector<const Global*> arrays;          // by exported symbol name
  std::vector<const Global*> scalars;         // by exported symbol name
  std::vector<const Global*> replay;          // scalars then arrays, by dotted path
  std::map<const Global*, int32_t> replay_offset;
  int32_t replay_size = 0;
};

Orders order(const Tree& tree) {
  Orders orders;
  std::vector<const Global*> all;
  for (const Global& global : tree.globals) all.push_back(&global);
  check_keys_distinct(all);
  std::vector<const Global*> replay_scalars;
  std::vector<const Global*> replay_arrays;
  for (const Global* global : all) {
    if (global->is_array && global->root)
      orders.root_arrays.push_back(global);
    else if (global->is_array)
      orders.arrays.push_back(global);
    else if (global->early)
      orders.early_scalars.push_back(global);
    else
      orders.scalars.push_back(global);
    if (in_replay_image(*global)) (global->is_array ? replay_arrays : replay_scalars).push_back(global);
  }
  const auto by_symbol = [](const Global* a, const Global* b) { return symbol_of(*a) < symbol_of(*b); };
  const auto by_path = [](const Global* a, const Global* b) { return a->path < b->path; };
  std::sort(orders.arrays.begin(), orders.arrays.end(), by_symbol);
  std::sort(orders.scalars.begin(), orders.scalars.end(), by_symbol);
  std::sort(replay_scalars.begin(), replay_scalars.end(), by_path);
  std::sort(replay_arrays.begin(), replay_arrays.end(), by_path);
  orders.replay = replay_scalars;
  orders.replay.insert(orders.replay.end(), replay_arrays.begin(), replay_arrays.end());
  for (const Global* global : orders.replay) {
    orders.replay_offset[global] = orders.replay_size;
    orders.replay_size += replay_bytes(*global);
  }
  return orders;
}

std::string declaration(const Global& global) {
  std::string text = std::string(c_type(global.type)) + " " + symbol_of(global);
  if (global.is_array) text += "[" + std::to_string(global.count) + "]";
  return text;
}

void write_header(const Tree& tree, std::ostream& out) {
  out << "// Generated from state.tree by state_tree_gen; do not edit.\n"
         "#pragma once\n\n#include <cstdint>\n\n#include \"export.hpp\"\n#include \"state_access.hpp\"\n\n"
         "extern \"C\" {\n";
  for (const Global& global : tree.globals) out << "extern VEXLOR_EXPORT " << declaration(global) << ";\n";
  out << "}\n";
  std::map<std::string, std::vector<const Global*>> by_namespace;
  for (const Global& global : tree.globals)
    if (!global.root) by_namespace[global.namespace_path].push_back(&global);
  for (const auto& [module, globals] : by_namespace) {
    out << "\nnamespace " << replace_all(module, ".", "::") << " {\n";
    for (const Global* global : globals) {
      if (global->is_array)
        out << "inline constexpr quillfen::StateArray<" << c_type(global->type) << ", " << global->count << "> "
            << global->readable << "{" << symbol_of(*global) << "};\n";
      else
        out << "inline " << c_type(global->type) << "& " << global->readable << " = " << symbol_of(*global) << ";\n";
    }
    out << "}\n";
  }
}

void write_bindings(const char* name, const std::vector<const Global*>& globals, std::ostream& out) {
  out << "\nconst StateBinding " << name << "[" << globals.size() << "] = {\n";
  for (const Global* global : globals)
    out << "    {vexlor::JitStorageKind::" << kind_name(global->type) << ", " << first_key(*global) << ", "
        << second_key(*global) << ", " << (global->is_array ? "" : "&") << symbol_of(*global) << ", "
        << global->count << "},  // " << global->path << "\n";
  out << "};\n";
}

void write_source(const Tree& tree, const Orders& orders, std::ostream& out) {
  out << "// Generated from state.tree by state_tree_gen; do not edit.\n"
         "#include \"state_tree.hpp\"\n#include \"state_tables.hpp\"\n\nextern \"C\" {\n";
  for (const Global& global : tree.globals) {
    out << declaration(global);
    if (!global.is_array && global.initial != 0) out << " = " << global.initial;
    out << ";\n";
  }
  out << "}\n\nnamespace quillfen {\n";
  write_bindings("root_array_bindings", orders.root_arrays, out);
  write_bindings("early_scalar_bindings", orders.early_scalars, out);
  write_bindings("state_array_bindings", orders.arrays, out);
  write_bindings("state_scalar_bindings", orders.scalars, out);
  out << "\nconst ReplayField replay_fields[" << orders.replay.size() << "] = {\n";
  for (const Global* global : orders.replay)
    out << "    {ReplayEncoding::" << replay_encoding(*global) << ", " << (global->is_array ? "" : "&")
        << symbol_of(*global) << ", " << global->count << "},  // " << orders.replay_offset.at(global) << " "
        << global->path << "\n";
  out << "};\n\n}  // namespace quillfen\n";
}

void write_table_header(const Orders& orders, std::ostream& out) {
  out << "// Generated from state.tree by state_tree_gen; do not edit.\n#pragma once\n\n"
         "#include \"state_binding.hpp\"\n\nnamespace quillfen {\n\n";
  const auto extent = [&](const char* name, size_t count) {
    out << "extern const StateBinding " << name << "[" << count << "];\n";
  };
  extent("root_array_bindings", orders.root_arrays.size());
  extent("early_scalar_bindings", orders.early_scalars.size());
  extent("state_array_bindings", orders.arrays.size());
  extent("state_scalar_bindings", orders.scalars.size());
  out << "extern const ReplayField replay_fields[" << orders.replay.size() << "];\n"
      << "inline constexpr int32_t replay_image_size = " << orders.replay_size << ";\n\n}  // namespace quillfen\n";
}

void write_manifest(const Tree& tree, const Orders& orders, std::ostream& out) {
  out << "symbol\tpath\tclass\ttype\tcount\tinitial\tfirst_key\tsecond_key\treplay_offset\n";
  for (const Global& global : tree.globals) {
    const auto offset = orders.replay_offset.find(&global);
    out << symbol_of(global) << "\t" << global.path << "\t"
        << (global.is_array ? (global.collection.empty() ? "array" : "column") : "scalar") << "\t"
        << type_name(global.type) << "\t" << global.count << "\t" << global.initial << "\t" << first_key(global)
        << "\t" << second_key(global) << "\t" << (offset == orders.replay_offset.end() ? -1 : offset->second)
        << "\n";
  }
}

// Writes only when the text changed, so an unchanged tree rebuilds nothing.
void write_if_changed(const std::string& file, const std::string& text) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream current;
  current << in.rdbuf();
  if (in && current.str() == text) return;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) fail("cannot write " + file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) fail("usage: state_tree_gen <state.tree> <output dir>");
  Tree tree = parse(argv[1]);
  assign_readable_names(tree);
  const Orders orders = order(tree);
  const std::string dir = argv[2];
  std::ostringstream header, source, tables, manifest;
  write_header(tree, header);
  write_source(tree, orders, source);
  write_table_header(orders, tables);
  write_manifest(tree, orders, manifest);
  write_if_changed(dir + "/state_tree.hpp", header.str());
  write_if_changed(dir + "/state_tree.cpp", source.str());
  write_if_changed(dir + "/state_tables.hpp", tables.str());
  write_if_changed(dir + "/state_manifest.tsv", manifest.str());
  return 0;
}
